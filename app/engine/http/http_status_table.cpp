#include "app/engine/http/http_status_table.h"

namespace engine {

HttpStatusAction ActionForStatus(int status) {
  if (status == 206) return HttpStatusAction::kPartialBody;
  if (status >= 200 && status <= 299) return HttpStatusAction::kBody;
  if (status == 304) return HttpStatusAction::kFail;
  if (status >= 300 && status <= 399) return HttpStatusAction::kRedirect;
  switch (status) {
    case 401:
      return HttpStatusAction::kAuthenticate;
    case 407:
      return HttpStatusAction::kProxyAuthenticate;
    case 421:
    case 503:
      return HttpStatusAction::kBusy;
    case 499:
      return HttpStatusAction::kRetryNow;
    default:
      return HttpStatusAction::kFail;
  }
}

}  // namespace engine
