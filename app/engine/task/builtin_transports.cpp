#include "app/engine/task/builtin_transports.h"

#include "app/engine/afp/afp_transport.h"
#include "app/engine/ftp/ftp_transport.h"
#include "app/engine/http/http_transport.h"
#include "app/engine/network/network_reachability.h"

namespace engine {

void RegisterBuiltInTransports() {
  RegisterHttpTransport();
  FTPTransportOptions ftp;
  ftp.is_network_reachable = IsNetworkReachable;
  RegisterFTPTransports(std::move(ftp));
  RegisterAFPTransport();
}

}  // namespace engine
