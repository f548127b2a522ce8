#pragma once
// Every time-out and retry delay of a download, in seconds, in one place: the scheduler
// and each transport read them from here, so a silence limit means the same everywhere.
//
// Silence limits: a connection that shows no sign of life (response head, data) for its
// limit is ended by the progress tick as a plain failure. A sole connection (a mirror
// that cannot resume) gets longer, because ending it throws its bytes away; a connection
// whose transport waits for the user (a certificate question) gets an hour, and the
// question itself is answered "don't trust" when nobody has answered it by then.

namespace engine {

inline constexpr double kConnectionTimeout = 30;
inline constexpr double kSoleConnectionTimeout = 55;
// FTPS needs the TLS handshake on top of the login before anything shows.
inline constexpr double kFTPSOpenTimeout = 35;
inline constexpr double kQuestionTimeout = 3600;

// After a plain failure (no flag asks otherwise).
inline constexpr double kRetryDelay = 60;
// kStreamRetryLate: the server refused or dropped the connection; it may be busy.
inline constexpr double kRetryLateDelay = 25;
// kStreamRetrySoon: a fault of this one request, not of the server.
inline constexpr double kRetrySoonDelay = 4;
// A restart for the whole file that could not open.
inline constexpr double kRestartRetryDelay = 10;
// When no connection runs, the scheduler looks again after this long.
inline constexpr double kEmptyCheckDelay = 20;
// A resumed download of known size splits after this long if its first answer is late.
inline constexpr double kFirstSplitDelay = 8;

// The progress tick (event to the queue, silence checks) and the ranges-file save.
inline constexpr double kProgressTickInterval = 0.8;
inline constexpr double kRangesSaveInterval = 15;

}  // namespace engine
