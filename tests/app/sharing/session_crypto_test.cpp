// Known answers: the key stream from an ISAAC written in Python from the published
// generator (checked against its reference vector, second batch f650e4c8 e448e96d ...);
// Base64 from RFC 4648 and Python's base64 module; OAEP against the openssl command.

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/session_cipher.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/crypto/sharing_base64.h"
#include "platform/values/digest.h"
#include "tests/app/sharing/test_key.h"
#include "tests/support/temp_home.h"

namespace sharing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& b) {
  return values::HexLower(b);
}

SessionKey CountingKey() {
  SessionKey key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  return key;
}

Bytes KeyStream(const SessionKey& key, std::size_t n) {
  SessionCipher c;
  SessionCipherInit(c, key);
  Bytes zeros(n, 0);
  SessionCipherApply(c, zeros.data(), zeros.size());
  return zeros;
}

TEST(SessionCipher, KnownKeyStreams) {
  EXPECT_EQ(Hex(KeyStream(SessionKey{}, 16)), "f30026188d4a0b3022661b3021cd8ab0");
  const Bytes stream = KeyStream(CountingKey(), 2048);
  EXPECT_EQ(Hex(Bytes(stream.begin(), stream.begin() + 16)), "93aadb25df3ece2b07082441678d0df3");
  // Across the end of the first batch (word 255 is bytes 1020..1023) into the second.
  EXPECT_EQ(Hex(Bytes(stream.begin() + 1016, stream.begin() + 1032)), "cf0dff5a2fdc2d97200e2f67d30bc13f");
  EXPECT_EQ(Hex(Bytes(stream.begin() + 2040, stream.end())), "641fc625242bb63c");

  SessionCipher c;
  SessionCipherInit(c, CountingKey());
  Bytes abc = {'a', 'b', 'c'};
  SessionCipherApply(c, abc.data(), abc.size());
  EXPECT_EQ(Hex(abc), "f2c8b8");
}

TEST(SessionCipher, StreamRunsOnHoweverTheDataIsCut) {
  const Bytes whole = KeyStream(CountingKey(), 2100);
  // Cuts at word boundaries, inside words, at the end of a batch and of the next.
  const std::vector<std::vector<std::size_t>> cuts = {
      {1, 1, 1}, {4, 1016, 4, 1024}, {3, 5, 7, 1009, 1, 2, 1073}, {1020}, {1021, 3}, {0, 1024, 0, 1}, {2100},
  };
  for (const auto& pieces : cuts) {
    SessionCipher c;
    SessionCipherInit(c, CountingKey());
    Bytes got;
    for (std::size_t n : pieces) {
      Bytes part(n, 0);
      SessionCipherApply(c, part.data(), part.size());
      got.insert(got.end(), part.begin(), part.end());
      if (n > 0) EXPECT_LT(c.position, 4u);  // 4 only right after seeding
    }
    EXPECT_EQ(got, Bytes(whole.begin(), whole.begin() + got.size()));
  }
  // Applying a fresh context again restores the clear text.
  Bytes text(777);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i * 7);
  Bytes work = text;
  SessionCipher a, b;
  SessionCipherInit(a, CountingKey());
  SessionCipherInit(b, CountingKey());
  SessionCipherApply(a, work.data(), work.size());
  EXPECT_NE(work, text);
  SessionCipherApply(b, work.data(), work.size());
  EXPECT_EQ(work, text);
  SessionCipherClear(a);
  EXPECT_EQ(a.word, 0u);
  EXPECT_EQ(a.isaac.memory, (std::array<std::uint32_t, 256>{}));
}

TEST(SharingBase64, EncodesAndDecodesAsPeersDo) {
  struct Case {
    std::string plain;
    std::string text;
  };
  const Case rfc[] = {{"", ""},
                      {"f", "Zg=="},
                      {"fo", "Zm8="},
                      {"foo", "Zm9v"},
                      {"foob", "Zm9vYg=="},
                      {"fooba", "Zm9vYmE="},
                      {"foobar", "Zm9vYmFy"}};
  for (const Case& c : rfc) {
    EXPECT_EQ(Base64Encode(Bytes(c.plain.begin(), c.plain.end())), c.text);
    if (!c.text.empty()) EXPECT_EQ(Base64Decode(c.text), Bytes(c.plain.begin(), c.plain.end())) << c.text;
  }
  const Bytes high = {0xFB, 0xFF, 0x00, 0x3E};
  EXPECT_EQ(Base64Encode(high), "+/8APg==");  // Python: base64.b64encode(b'\xfb\xff\x00>')
  struct Lenient {
    const char* text;
    Bytes bytes;
  };
  const Lenient lenient[] = {
      {"Zm8", {}},    // 3 characters
      {"Zm9vY", {}},  // 5 characters
      {"", {}},
      {"Zm=v", {0x66, 0x60, 0x2F}},  // "=" inside counts as 0
      {"Z!9v", {0x64, 0x0F, 0x6F}},  // so does a character outside the alphabet
      {"Zm9vYg==", {'f', 'o', 'o', 'b'}},
  };
  for (const Lenient& c : lenient) EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
}

std::unique_ptr<RSAKey> TestKey() {
  BIO* bio = BIO_new_mem_buf(testkey::kPem, -1);
  EVP_PKEY* pkey = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  auto key = RSAKey::FromOpenSSLKey(pkey);
  EVP_PKEY_free(pkey);
  return key;
}

TEST(RSAKey, TextsOfAKnownKey) {
  auto key = TestKey();
  ASSERT_TRUE(key);
  EXPECT_EQ(key->PublicKeyString(), testkey::kModulusHex);
  EXPECT_EQ(key->PublicKeyString().size(), 384u);
  EXPECT_EQ(key->Fingerprint(), testkey::kFingerprint);
  EXPECT_TRUE(key->IsValidPrivateKey());

  auto peer = RSAKey::FromPublicKeyString(testkey::kModulusHex, kPeerKeyExponent);
  ASSERT_TRUE(peer);
  EXPECT_EQ(peer->Fingerprint(), testkey::kFingerprint);
  EXPECT_FALSE(peer->IsValidPrivateKey());
  for (const char* bad : {"", "XYZ", "12 34", "0x1234"})
    EXPECT_FALSE(RSAKey::FromPublicKeyString(bad, "65537")) << bad;
}

TEST(RSAKey, ArchiveKeepsThePartsTheKeyHas) {
  auto key = TestKey();
  const values::Value archive = key->Archive();
  for (const char* part : {"n", "e", "d", "p", "q", "dmp1", "dmq1", "iqmp"})
    EXPECT_TRUE(archive.Find(part)) << part;
  EXPECT_EQ(archive.Find("e")->StringOr(""), "010001");
  auto back = RSAKey::UnarchiveData(key->ArchiveData());
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->IsValidPrivateKey());
  EXPECT_EQ(back->Fingerprint(), testkey::kFingerprint);

  auto publicOnly = RSAKey::FromPublicKeyString(testkey::kModulusHex, "65537");
  const values::Value pub = publicOnly->Archive();
  EXPECT_TRUE(pub.Find("n") && pub.Find("e"));
  EXPECT_FALSE(pub.Find("d"));

  // Not a server key: no private exponent, or parts that do not belong together.
  values::Value withoutD = archive;
  withoutD.Erase("d");
  auto noD = RSAKey::Unarchive(withoutD);
  EXPECT_TRUE(!noD || !noD->IsValidPrivateKey());
  values::Value wrongD = archive;
  wrongD.Put("d", "0123456789ABCDEF");
  auto badD = RSAKey::Unarchive(wrongD);
  EXPECT_TRUE(!badD || !badD->IsValidPrivateKey());
  values::Value noN = archive;
  noN.Erase("n");
  EXPECT_FALSE(RSAKey::Unarchive(noN));
}

std::string RunOpenSSL(const std::string& args) {
  const std::string command = "openssl " + args + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << command << ": " << out;
  return out;
}

TEST(SessionKey, EnciphersForTheOpensslCommandAndBack) {
  const std::string dir = testsupport::MakeTempDir("oaep");
  testsupport::WriteFile(dir + "/key.pem", testkey::kPem);
  auto server = TestKey();
  auto peer = RSAKey::FromPublicKeyString(testkey::kModulusHex, kPeerKeyExponent);
  const std::string oaep =
      "-pkeyopt rsa_padding_mode:oaep -pkeyopt rsa_oaep_md:sha1 -pkeyopt rsa_mgf1_md:sha1";

  // Ours to openssl: the key text deciphers to 64 bytes that seed the same key stream.
  std::string text;
  auto cipher = CreateSessionKey(*peer, text);
  ASSERT_TRUE(cipher);
  EXPECT_EQ(text.size(), 256u);
  testsupport::WriteFile(dir + "/key.b64", text + "\n");
  RunOpenSSL("base64 -d -A -in '" + dir + "/key.b64' -out '" + dir + "/key.bin'");
  RunOpenSSL("pkeyutl -decrypt -inkey '" + dir + "/key.pem' " + oaep + " -in '" + dir + "/key.bin' -out '" +
             dir + "/session.bin'");
  const std::string session = testsupport::ReadFile(dir + "/session.bin");
  ASSERT_EQ(session.size(), 64u);
  SessionKey key;
  std::copy(session.begin(), session.end(), key.begin());
  Bytes probe(100, 0);
  SessionCipherApply(*cipher, probe.data(), probe.size());
  EXPECT_EQ(probe, KeyStream(key, 100));

  // openssl to ours.
  Bytes chosen(64);
  for (std::size_t i = 0; i < chosen.size(); ++i) chosen[i] = static_cast<std::uint8_t>(255 - i);
  testsupport::WriteFile(dir + "/chosen.bin", std::string(chosen.begin(), chosen.end()));
  RunOpenSSL("pkeyutl -encrypt -inkey '" + dir + "/key.pem' " + oaep + " -in '" + dir +
             "/chosen.bin' -out '" + dir + "/chosen.enc'");
  const std::string enc = testsupport::ReadFile(dir + "/chosen.enc");
  auto accepted = AcceptSessionKey(*server, Base64Encode(Bytes(enc.begin(), enc.end())));
  ASSERT_TRUE(accepted);
  SessionKey chosenKey;
  std::copy(chosen.begin(), chosen.end(), chosenKey.begin());
  Bytes probe2(64, 0);
  SessionCipherApply(*accepted, probe2.data(), probe2.size());
  EXPECT_EQ(probe2, KeyStream(chosenKey, 64));
}

TEST(SessionKey, ServerRefusesBadAndReplayedKeys) {
  auto server = TestKey();
  auto peer = RSAKey::FromPublicKeyString(testkey::kModulusHex, kPeerKeyExponent);
  std::string text;
  ASSERT_TRUE(CreateSessionKey(*peer, text));
  EXPECT_TRUE(AcceptSessionKey(*server, text));
  EXPECT_FALSE(AcceptSessionKey(*server, text)) << "a replayed key would repeat a key stream";
  // A text that does not decipher, or deciphers to another length.
  EXPECT_FALSE(AcceptSessionKey(*server, "abc"));
  EXPECT_FALSE(AcceptSessionKey(*server, std::string(256, 'A')));
  const auto shortKey = peer->EncryptOAEP(Bytes(63, 1));
  ASSERT_TRUE(shortKey);
  EXPECT_FALSE(AcceptSessionKey(*server, Base64Encode(*shortKey)));
  // A key with no private part cannot accept anything.
  std::string again;
  ASSERT_TRUE(CreateSessionKey(*peer, again));
  EXPECT_FALSE(AcceptSessionKey(*peer, again));
}

TEST(SessionKey, EveryConnectionGetsItsOwnKey) {
  auto peer = RSAKey::FromPublicKeyString(testkey::kModulusHex, kPeerKeyExponent);
  std::set<Bytes> streams;
  for (int i = 0; i < 20; ++i) {
    std::string text;
    auto cipher = CreateSessionKey(*peer, text);
    ASSERT_TRUE(cipher);
    Bytes probe(32, 0);
    SessionCipherApply(*cipher, probe.data(), probe.size());
    EXPECT_TRUE(streams.insert(probe).second);
  }
}

}  // namespace
}  // namespace sharing
