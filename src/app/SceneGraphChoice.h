#pragma once

#include <QProcessEnvironment>
#include <QString>

// Decides, before the first window exists, whether Qt Quick should draw with its software scene graph:
// where OpenGL itself would run on the CPU (no GPU render node, or a software driver named in the
// environment), the software scene graph redraws only what changed and needs no GL driver in memory.
// A backend the user chose always stands, and a GPU keeps OpenGL. Nothing here creates a GL context.
class SceneGraphChoice
{
public:
    explicit SceneGraphChoice(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString renderNodeDir = QStringLiteral("/dev/dri"));

    [[nodiscard]] bool prefersSoftware() const;
    // Switches Qt Quick to the software scene graph when prefersSoftware(); returns whether it did.
    bool apply() const;

private:
    [[nodiscard]] bool userChoseBackend() const;
    [[nodiscard]] bool softwareGlNamed() const;
    [[nodiscard]] bool hasRenderNode() const;

    QProcessEnvironment m_environment;
    QString m_renderNodeDir;
};
