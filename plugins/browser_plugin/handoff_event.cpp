#include "plugins/browser_plugin/handoff_event.h"

namespace browserplugin {

using appleevents::Descriptor;

appleevents::AppleEvent BuildAddURLEvent(const AddURLInputs& inputs, bool forLaunch) {
  appleevents::AppleEvent event(kSuiteClass, kAddURLEventID);
  Descriptor urls = Descriptor::List();
  for (const std::string& u : inputs.urlItems) urls.Append(Descriptor::Text(u));
  Descriptor cookies = Descriptor::List();
  for (const std::string& c : inputs.cookieItems) cookies.Append(Descriptor::Text(c));
  const Descriptor referer = inputs.referer ? Descriptor::Text(*inputs.referer) : Descriptor();

  event.PutParam(appleevents::keys::kDirectObject, std::move(urls));
  const auto putCookies = [&] {
    if (cookies.Count() > 0) event.PutParam(values::FourCC("Co_k"), cookies);
  };
  const auto putReferer = [&] {
    if (referer.type() == appleevents::types::kText) event.PutParam(values::FourCC("Refe"), referer);
  };
  if (forLaunch) {
    putReferer();
    putCookies();
  } else {
    putCookies();
    putReferer();
  }
  return event;
}

std::optional<std::string> DerivedReferer(const std::string& url) {
  const std::size_t slash = url.rfind('/');
  if (slash == std::string::npos || slash + 1 >= url.size()) return std::nullopt;
  // Sent with its terminating zero byte, as the URL items are.
  return url.substr(0, slash + 1) + "index.html" + std::string(1, '\0');
}

}  // namespace browserplugin
