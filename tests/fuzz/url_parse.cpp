// URL text from pages, the clipboard, scripts and servers' redirections.

#include "platform/values/url.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

void Exercise(const values::Url& url) {
  (void)url.Scheme();
  (void)url.NetLocation();
  (void)url.Host();
  (void)url.Port();
  (void)url.User();
  (void)url.Password();
  (void)url.Path();
  (void)url.StrictPath();
  (void)url.ParameterString();
  (void)url.Query();
  (void)url.Fragment();
  (void)url.ResourceSpecifier();
  (void)url.FileSystemPath();
  (void)url.LastPathComponent();
  (void)url.PathExtension();
  (void)url.HasDirectoryPath();
  (void)url.DeletingLastPathComponent();
  (void)url.AppendingPathComponent("name", false);
  for (int c = 0; c <= static_cast<int>(values::UrlComponent::kFragment); ++c) {
    (void)url.ComponentRange(static_cast<values::UrlComponent>(c));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  // A line feed splits the input into a base and a reference relative to it.
  const std::size_t split = text.find('\n');
  if (split == std::string_view::npos) {
    if (auto url = values::Url::Create(text)) {
      Exercise(*url);
      Exercise(url->Absolute());
    }
    return 0;
  }
  auto base = values::Url::Create(text.substr(0, split));
  if (!base) return 0;
  if (auto url = values::Url::Create(text.substr(split + 1), base->Absolute())) {
    Exercise(*url);
    Exercise(url->Absolute());
  }
  (void)values::Url::CreateAbsolute(text.substr(split + 1), base->Absolute());
  return 0;
}
