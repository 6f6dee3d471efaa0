#include "reference.h"

#include "plasma-window-management-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

struct window
{
    struct reference* owner;
    void* proxy; /* org_kde_plasma_window or zwlr_foreign_toplevel_handle_v1 */
    char* title;
    char* pending; /* wlroots: until done */
    struct window* next;
};

struct reference
{
    int kde;
    struct wl_display* display;
    struct wl_registry* registry;
    struct org_kde_plasma_window_management* kwin;
    uint32_t kwin_version;
    struct zwlr_foreign_toplevel_manager_v1* wlr;
    struct window* windows;
};

static int contains(const char* title, const char* name)
{
    size_t n = strlen(name), t = strnlen(title, 254);
    if (n == 0 || n > t)
        return 0;
    for (size_t i = 0; i + n <= t; ++i) {
        size_t k = 0;
        for (; k < n; ++k) {
            unsigned char a = (unsigned char)title[i + k], b = (unsigned char)name[k];
            if (a >= 'a' && a <= 'z')
                a -= 32;
            if (b >= 'a' && b <= 'z')
                b -= 32;
            if (a != b)
                break;
        }
        if (k == n)
            return 1;
    }
    return 0;
}

static struct window* add_window(struct reference* r, void* proxy)
{
    struct window* w = calloc(1, sizeof *w);
    w->owner = r;
    w->proxy = proxy;
    w->title = strdup("");
    w->next = r->windows;
    r->windows = w;
    return w;
}

static void remove_window(struct window* gone)
{
    struct window** p = &gone->owner->windows;
    while (*p != gone)
        p = &(*p)->next;
    *p = gone->next;
    free(gone->title);
    free(gone->pending);
    free(gone);
}

static void set_text(char** field, const char* text)
{
    free(*field);
    *field = strdup(text ? text : "");
}

/* KWin */

static void kde_title(void* data, struct org_kde_plasma_window* w, const char* title)
{
    (void)w;
    set_text(&((struct window*)data)->title, title);
}

static void kde_unmapped(void* data, struct org_kde_plasma_window* w)
{
    org_kde_plasma_window_destroy(w);
    remove_window(data);
}

static void kde_str(void* d, struct org_kde_plasma_window* w, const char* s)
{
    (void)d;
    (void)w;
    (void)s;
}
static void kde_uint(void* d, struct org_kde_plasma_window* w, uint32_t u)
{
    (void)d;
    (void)w;
    (void)u;
}
static void kde_int(void* d, struct org_kde_plasma_window* w, int32_t i)
{
    (void)d;
    (void)w;
    (void)i;
}
static void kde_none(void* d, struct org_kde_plasma_window* w)
{
    (void)d;
    (void)w;
}
static void kde_parent(void* d, struct org_kde_plasma_window* w, struct org_kde_plasma_window* p)
{
    (void)d;
    (void)w;
    (void)p;
}
static void kde_geometry(void* d, struct org_kde_plasma_window* w, int32_t x, int32_t y,
                         uint32_t wd, uint32_t h)
{
    (void)d;
    (void)w;
    (void)x;
    (void)y;
    (void)wd;
    (void)h;
}
static void kde_menu(void* d, struct org_kde_plasma_window* w, const char* a, const char* b)
{
    (void)d;
    (void)w;
    (void)a;
    (void)b;
}

static const struct org_kde_plasma_window_listener kde_window_listener = {
    kde_title, kde_str,    kde_uint,     kde_int,  kde_str,  kde_unmapped,
    kde_none,  kde_parent, kde_geometry, kde_none, kde_uint, kde_str,
    kde_str,   kde_menu,   kde_str,      kde_str,  kde_str,  kde_geometry,
};

static void kde_window(void* data, struct org_kde_plasma_window_management* m, uint32_t id)
{
    /* From version 13 windows are asked for by uuid (kde_window_uuid). */
    if (((struct reference*)data)->kwin_version >= 13)
        return;
    struct org_kde_plasma_window* proxy = org_kde_plasma_window_management_get_window(m, id);
    org_kde_plasma_window_add_listener(proxy, &kde_window_listener, add_window(data, proxy));
}

static void kde_m_uint(void* d, struct org_kde_plasma_window_management* m, uint32_t u)
{
    (void)d;
    (void)m;
    (void)u;
}
static void kde_m_array(void* d, struct org_kde_plasma_window_management* m, struct wl_array* a)
{
    (void)d;
    (void)m;
    (void)a;
}
static void kde_m_str(void* d, struct org_kde_plasma_window_management* m, const char* s)
{
    (void)d;
    (void)m;
    (void)s;
}
static void kde_window_uuid(void* data, struct org_kde_plasma_window_management* m, uint32_t u,
                            const char* uuid)
{
    (void)u;
    struct org_kde_plasma_window* proxy = org_kde_plasma_window_management_get_window_by_uuid(m, uuid);
    org_kde_plasma_window_add_listener(proxy, &kde_window_listener, add_window(data, proxy));
}
static void kde_m_none(void* d, struct org_kde_plasma_window_management* m)
{
    (void)d;
    (void)m;
}

static const struct org_kde_plasma_window_management_listener kde_listener = {
    kde_m_uint, kde_window, kde_m_array, kde_m_str, kde_window_uuid, kde_m_none,
};

/* wlroots */

static void wlr_title(void* data, struct zwlr_foreign_toplevel_handle_v1* h, const char* title)
{
    (void)h;
    set_text(&((struct window*)data)->pending, title);
}

static void wlr_done(void* data, struct zwlr_foreign_toplevel_handle_v1* h)
{
    struct window* w = data;
    (void)h;
    if (w->pending) {
        free(w->title);
        w->title = w->pending;
        w->pending = NULL;
    }
}

static void wlr_closed(void* data, struct zwlr_foreign_toplevel_handle_v1* h)
{
    zwlr_foreign_toplevel_handle_v1_destroy(h);
    remove_window(data);
}

static void wlr_str(void* d, struct zwlr_foreign_toplevel_handle_v1* h, const char* s)
{
    (void)d;
    (void)h;
    (void)s;
}
static void wlr_output(void* d, struct zwlr_foreign_toplevel_handle_v1* h, struct wl_output* o)
{
    (void)d;
    (void)h;
    (void)o;
}
static void wlr_array(void* d, struct zwlr_foreign_toplevel_handle_v1* h, struct wl_array* a)
{
    (void)d;
    (void)h;
    (void)a;
}
static void wlr_parent(void* d, struct zwlr_foreign_toplevel_handle_v1* h,
                       struct zwlr_foreign_toplevel_handle_v1* p)
{
    (void)d;
    (void)h;
    (void)p;
}

static const struct zwlr_foreign_toplevel_handle_v1_listener wlr_handle_listener = {
    wlr_title, wlr_str, wlr_output, wlr_output, wlr_array, wlr_done, wlr_closed, wlr_parent,
};

static void wlr_toplevel(void* data, struct zwlr_foreign_toplevel_manager_v1* m,
                         struct zwlr_foreign_toplevel_handle_v1* h)
{
    (void)m;
    zwlr_foreign_toplevel_handle_v1_add_listener(h, &wlr_handle_listener, add_window(data, h));
}

static void wlr_finished(void* data, struct zwlr_foreign_toplevel_manager_v1* m)
{
    (void)data;
    (void)m;
}

static const struct zwlr_foreign_toplevel_manager_v1_listener wlr_listener = {
    wlr_toplevel,
    wlr_finished,
};

/* The registry */

static void on_global(void* data, struct wl_registry* registry, uint32_t name,
                      const char* interface, uint32_t version)
{
    struct reference* r = data;
    if (r->kde && strcmp(interface, "org_kde_plasma_window_management") == 0) {
        /* As Lurn: 18 where KWin offers 17 or later (KWin 6 serves 11 no
         * more), else 11. */
        r->kwin_version = version >= 17 ? 18 : version < 11 ? version : 11;
        r->kwin = wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface,
                                   r->kwin_version);
        org_kde_plasma_window_management_add_listener(r->kwin, &kde_listener, r);
    } else if (!r->kde && strcmp(interface, "zwlr_foreign_toplevel_manager_v1") == 0) {
        r->wlr = wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                                  version < 3 ? version : 3);
        zwlr_foreign_toplevel_manager_v1_add_listener(r->wlr, &wlr_listener, r);
    }
}

static void on_global_remove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

struct reference* reference_open(int kde)
{
    struct reference* r = calloc(1, sizeof *r);
    r->kde = kde;
    r->display = wl_display_connect(NULL);
    if (!r->display) {
        free(r);
        return NULL;
    }
    r->registry = wl_display_get_registry(r->display);
    wl_registry_add_listener(r->registry, &registry_listener, r);
    /* The globals; the windows; KWin: what each window is. */
    if (wl_display_roundtrip(r->display) < 0 || (!r->kwin && !r->wlr) ||
        wl_display_roundtrip(r->display) < 0 || wl_display_roundtrip(r->display) < 0) {
        reference_close(r);
        return NULL;
    }
    return r;
}

int reference_pass(struct reference* r, const char* name)
{
    int asked = 0;
    if (wl_display_roundtrip(r->display) < 0)
        return -1;
    for (struct window* w = r->windows; w; w = w->next) {
        if (!contains(w->title, name))
            continue;
        if (r->kde)
            org_kde_plasma_window_close(w->proxy);
        else
            zwlr_foreign_toplevel_handle_v1_close(w->proxy);
        ++asked;
    }
    return wl_display_flush(r->display) < 0 ? -1 : asked;
}

void reference_close(struct reference* r)
{
    wl_display_roundtrip(r->display);
    while (r->windows) {
        struct window* w = r->windows;
        if (r->kde)
            org_kde_plasma_window_destroy(w->proxy);
        else
            zwlr_foreign_toplevel_handle_v1_destroy(w->proxy);
        remove_window(w);
    }
    if (r->kwin)
        org_kde_plasma_window_management_destroy(r->kwin);
    if (r->wlr) {
        zwlr_foreign_toplevel_manager_v1_stop(r->wlr);
        zwlr_foreign_toplevel_manager_v1_destroy(r->wlr);
    }
    wl_registry_destroy(r->registry);
    wl_display_roundtrip(r->display);
    wl_display_disconnect(r->display);
    free(r);
}
