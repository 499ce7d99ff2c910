#include "SceneGraphChoice.h"

#include "UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace {
// Variables through which a user picks the scene graph or its graphics API.
const char *const kUserChoices[] = {"QT_QUICK_BACKEND", "QSG_RHI_BACKEND"};
// Mesa's drivers that rasterise on the CPU.
const char *const kSoftwareDrivers[] = {"llvmpipe", "softpipe", "swrast", "swr"};

// Mesa needs to open a GPU device for reading and writing; a device the user may not open (a
// remote session, another seat's GPU) leaves it on llvmpipe all the same.
bool mayOpen(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}
} // namespace

SceneGraphChoice::SceneGraphChoice(QProcessEnvironment environment, QString deviceDir, QString versionPath)
    : m_environment(std::move(environment))
    , m_deviceDir(std::move(deviceDir))
    , m_versionPath(std::move(versionPath))
{ }

bool SceneGraphChoice::prefersSoftware() const
{
    return !userChoseBackend() && (softwareGlNamed() || !hasUsableGpu());
}

bool SceneGraphChoice::apply() const
{
    if (!prefersSoftware())
        return false;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return true;
}

bool SceneGraphChoice::userChoseBackend() const
{
    for (const char *name : kUserChoices) {
        if (!m_environment.value(QLatin1String(name)).isEmpty())
            return true;
    }
    return false;
}

bool SceneGraphChoice::softwareGlNamed() const
{
    const QString forced = m_environment.value(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"));
    if (!forced.isEmpty() && forced != u"0" && forced.compare(u"false", Qt::CaseInsensitive) != 0)
        return true;
    const QString driver = m_environment.value(QStringLiteral("GALLIUM_DRIVER")).trimmed();
    for (const char *name : kSoftwareDrivers) {
        if (driver.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool SceneGraphChoice::hasUsableGpu() const
{
    // Render nodes (renderD128, ...) exist for every GPU driver that can draw, display or not.
    const QDir dri(m_deviceDir + QStringLiteral("/dri"));
    const QStringList nodes = dri.entryList({QStringLiteral("renderD*")}, QDir::System | QDir::Files);
    if (std::any_of(nodes.cbegin(), nodes.cend(),
            [&dri](const QString &node) { return mayOpen(dri.filePath(node)); }))
        return true;
    // Under WSL, Mesa's d3d12 driver draws on the Windows host's GPU through /dev/dxg.
    return UrlOpener::runsInsideWsl(m_versionPath) && mayOpen(m_deviceDir + QStringLiteral("/dxg"));
}
