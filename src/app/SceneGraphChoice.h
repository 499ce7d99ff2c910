#pragma once

#include <QProcessEnvironment>
#include <QString>

// Decides, before the first window exists, whether Qt Quick should draw with its software scene graph:
// where OpenGL itself would run on the CPU (no GPU the user may open, or a software driver named in the
// environment), the software scene graph redraws only what changed and needs no GL driver in memory.
// A backend the user chose always stands, and a GPU keeps OpenGL. Nothing here creates a GL context.
class SceneGraphChoice
{
public:
    // The device folder holds the render nodes (dri/renderD*) and, under WSL, the GPU of the Windows host
    // (dxg); the kernel version file tells WSL.
    explicit SceneGraphChoice(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString deviceDir = QStringLiteral("/dev"), QString versionPath = QStringLiteral("/proc/version"));

    [[nodiscard]] bool prefersSoftware() const;
    // Switches Qt Quick to the software scene graph when prefersSoftware(); returns whether it did.
    bool apply() const;

private:
    [[nodiscard]] bool userChoseBackend() const;
    [[nodiscard]] bool softwareGlNamed() const;
    [[nodiscard]] bool hasUsableGpu() const;

    QProcessEnvironment m_environment;
    QString m_deviceDir;
    QString m_versionPath;
};
