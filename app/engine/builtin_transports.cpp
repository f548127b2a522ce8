#include "app/engine/builtin_transports.h"

#include "app/engine/afp_transport.h"
#include "app/engine/ftp_transport.h"
#include "app/engine/http_transport.h"

namespace engine {

void RegisterBuiltInTransports() {
  RegisterHttpTransport();
  RegisterFTPTransports();
  RegisterAFPTransport();
}

}  // namespace engine
