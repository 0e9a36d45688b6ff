// Which parts of the library have landed (temporary; see stubs_pending.cpp).
// A part that lands defines its HAVE_ macro here.
#ifndef ZORVET_PENDING_H
#define ZORVET_PENDING_H
#define HAVE_NOTES
#define HAVE_HTTP_FETCH
#define HAVE_ROUTING
#define HAVE_PROTOCOL
#define HAVE_EXPORTS
#define HAVE_NOTIFICATIONS
#define HAVE_UPGRADE
#endif
