#include "WindowWatch.h"

#include <cstdlib>
#include <xcb/xcb.h>

WindowWatch::WindowWatch(QSize size)
    : m_size(size)
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    const QList<quint32> existing = topLevels();
    m_known = QSet<quint32>(existing.cbegin(), existing.cend());
}

WindowWatch::~WindowWatch()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

QList<quint32> WindowWatch::topLevels() const
{
    QList<quint32> windows;
    xcb_query_tree_reply_t *tree
        = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
    if (!tree)
        return windows;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
        windows.append(children[i]);
    std::free(tree);
    return windows;
}

bool WindowWatch::mapped()
{
    if (!m_connection)
        return false;
    bool found = false;
    for (const quint32 window : topLevels()) {
        if (m_known.contains(window))
            continue;
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        xcb_get_geometry_reply_t *geometry
            = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
        found = attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE
            && !attributes->override_redirect && geometry->width == m_size.width()
            && geometry->height == m_size.height();
        std::free(attributes);
        std::free(geometry);
        if (found)
            break;
    }
    return found;
}
