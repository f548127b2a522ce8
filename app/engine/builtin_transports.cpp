#include "app/engine/builtin_transports.h"

#include "app/engine/afp_transport.h"
#include "app/engine/ftp_transport.h"
#include "app/engine/http_transport.h"
#include "app/engine/network_reachability.h"

namespace engine {

void RegisterBuiltInTransports() {
  RegisterHttpTransport();
  FTPTransportOptions ftp;
  ftp.is_network_reachable = IsNetworkReachable;
  RegisterFTPTransports(std::move(ftp));
  RegisterAFPTransport();
}

}  // namespace engine
