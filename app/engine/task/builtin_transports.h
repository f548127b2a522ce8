#pragma once
// The transports every download can use: http and https (also the fallback for schemes
// without a transport of their own), ftp and ftps, afp.

namespace engine {

// Registers the built-in transports in the process's table (DownloadTransports()).
// Registering again replaces them with fresh ones, so calling it twice is harmless.
void RegisterBuiltInTransports();

}  // namespace engine
