#include "platform/values/digest.h"

#include <openssl/evp.h>

namespace values {

namespace {

const EVP_MD* MdOf(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kMd5:
      return EVP_md5();
    case DigestAlgorithm::kSha1:
      return EVP_sha1();
    case DigestAlgorithm::kSha256:
      return EVP_sha256();
  }
  return EVP_md5();
}

struct CtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

std::string Hex(std::span<const std::uint8_t> bytes, const char* digits) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace

struct Digester::Impl {
  DigestAlgorithm algorithm;
  std::unique_ptr<EVP_MD_CTX, CtxFree> ctx{EVP_MD_CTX_new()};
  void Start() { EVP_DigestInit_ex(ctx.get(), MdOf(algorithm), nullptr); }
};

Digester::Digester(DigestAlgorithm algorithm) : impl_(std::make_unique<Impl>()) {
  impl_->algorithm = algorithm;
  impl_->Start();
}

Digester::~Digester() = default;
Digester::Digester(Digester&&) noexcept = default;
Digester& Digester::operator=(Digester&&) noexcept = default;

void Digester::Update(std::span<const std::uint8_t> data) {
  if (!data.empty()) EVP_DigestUpdate(impl_->ctx.get(), data.data(), data.size());
}

void Digester::Update(std::string_view data) {
  if (!data.empty()) EVP_DigestUpdate(impl_->ctx.get(), data.data(), data.size());
}

std::vector<std::uint8_t> Digester::Finish() {
  std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned int size = 0;
  EVP_DigestFinal_ex(impl_->ctx.get(), out.data(), &size);
  out.resize(size);
  impl_->Start();
  return out;
}

std::size_t Digester::SizeOf(DigestAlgorithm algorithm) {
  return static_cast<std::size_t>(EVP_MD_get_size(MdOf(algorithm)));
}

std::vector<std::uint8_t> ComputeDigest(DigestAlgorithm algorithm, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), out.data(), &size, MdOf(algorithm), nullptr);
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> ComputeDigest(DigestAlgorithm algorithm, std::string_view data) {
  return ComputeDigest(algorithm, std::span<const std::uint8_t>(
                                      reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

std::string HexLower(std::span<const std::uint8_t> bytes) {
  return Hex(bytes, "0123456789abcdef");
}
std::string HexUpper(std::span<const std::uint8_t> bytes) {
  return Hex(bytes, "0123456789ABCDEF");
}

}  // namespace values
