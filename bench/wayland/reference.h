#pragma once

/* The floor for a closing pass through a compositor's window management: a
 * minimal C client with nothing but libwayland and the generated protocol
 * code. It binds the same protocol at the same version as the program,
 * lists the windows with their titles and sends the close requests for the
 * matching ones in one go. */

#ifdef __cplusplus
extern "C" {
#endif

struct reference;

/* Connects to WAYLAND_DISPLAY, binds org_kde_plasma_window_management (kde
 * != 0) or zwlr_foreign_toplevel_manager_v1, and reads every window with its
 * title. NULL on failure. */
struct reference* reference_open(int kde);
/* One pass on an open reference: a round trip for what changed since, then
 * a close request for every window whose title holds name (ASCII letters in
 * any case, first 254 bytes), all sent with one flush. The number asked, or
 * -1 on failure. */
int reference_pass(struct reference* r, const char* name);
/* Makes sure the compositor has taken the requests, then disconnects. */
void reference_close(struct reference* r);

#ifdef __cplusplus
}
#endif
