#pragma once
// The application's Apple-event suite: the events through which scripts, the browser
// and Finder plug-ins and the desktop drive the program.
//
// Class 'TrES' is the program's own: 'AUrl' (URLs to download, with referer, cookies and
// form data) and 'STRa' (files to upload) are the plug-ins' hand-off and their wire
// format is fixed; the other ids query and steer the queue, the sharing peers and the
// server favourites; 'TLog' answers a download's own transfer log, so that a script can
// tell why a download waits or failed. The standard events answered are 'aevt'/'quit', 'rapp' and 'odoc',
// 'GURL'/'GURL' and 'WWW!'/'OURL'.
//
// Conventions of the wire format: a download or a peer is named by a 'magn' (uint32)
// direct parameter; results are 'long', counts 'shor', sizes 'comp', flags 'bool', texts
// 'TEXT' (UTF-8), lists 'list'. Parameters are read through the event layer's coercions,
// so a UID sent as decimal text is taken as one. Every handler answers noErr and reports
// failure in its reply value (-4, -1, 0, "Invalid UID" ...), a parameter of the wrong
// type counting as an unknown name; only 'GURL'/'OURL' fail as events (-108, -50). An
// event of an unknown class or id is not handled (the handler table answers
// errAEEventNotHandled).
//
// 'AUrl' drops a repeated hand-off: the same one-URL item with the same referer within
// 200 s of the last one that passed, or (once another came between) the same item as a
// download started less than 30 s ago, whose start date then moves to now.
//
// Handlers run on the main thread from the event loop; the tables they read are entered
// under their locks and left before the reply is made.

#include <string>

#include "platform/appleevents/handler_table.h"

namespace shell {

// Installs the 43 handlers.
void InstallScriptingSuite(appleevents::HandlerTable& table);

// A referer of this host that ends in "index.html" is not sent with the URLs handed in
// (the vendor's download server refuses such requests); empty: none is dropped.
void SetDroppedRefererHost(std::string host);
// Forgets the remembered last hand-off (tests; a new run starts without one).
void ResetScriptingSuiteState();

}  // namespace shell
