#include "SceneGraphChoice.h"

#include <QDir>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <utility>

namespace {
// Variables through which a user picks the scene graph or its graphics API.
const char *const kUserChoices[] = {"QT_QUICK_BACKEND", "QSG_RHI_BACKEND"};
// Mesa's drivers that rasterise on the CPU.
const char *const kSoftwareDrivers[] = {"llvmpipe", "softpipe", "swrast", "swr"};
} // namespace

SceneGraphChoice::SceneGraphChoice(QProcessEnvironment environment, QString renderNodeDir)
    : m_environment(std::move(environment))
    , m_renderNodeDir(std::move(renderNodeDir))
{ }

bool SceneGraphChoice::prefersSoftware() const
{
    return !userChoseBackend() && (softwareGlNamed() || !hasRenderNode());
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

bool SceneGraphChoice::hasRenderNode() const
{
    // Render nodes (renderD128, ...) exist for every GPU driver that can draw, display or not.
    return !QDir(m_renderNodeDir)
                .entryList({QStringLiteral("renderD*")}, QDir::System | QDir::Files)
                .isEmpty();
}
