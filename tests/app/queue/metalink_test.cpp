// Metalink files: what is read from a document, what is refused (hostile documents
// included), what is added, and the selection window drawn off-screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/queue/metalink/metalink.h"
#include "app/queue/metalink/metalink_window.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_ui_services.h"

namespace queue {
namespace {

std::string Doc(const std::string& files, const std::string& extra = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metalink version=\"3.0\" "
         "xmlns=\"http://www.metalinker.org/\">" +
         extra + "<files>" + files + "</files></metalink>";
}

std::string File(const std::string& name, const std::string& urls, const std::string& more = "") {
  return "<file name=\"" + name + "\">" + more + "<resources>" + urls + "</resources></file>";
}

std::unique_ptr<TRMetalink> Read(const std::string& text, std::optional<MetalinkError>& error) {
  return TRMetalink::metalinkWithData(text, error);
}

TEST(Metalink, ReadsFilesMirrorsSizesAndChecksums) {
  std::optional<MetalinkError> error;
  auto m = Read(Doc(File("a.iso",
                         "<url type=\"http\">\n  http://one.example/a.iso  </url>"
                         "<url type=\"rsync\">rsync://r.example/a.iso</url>"
                         "<url>ftp://two.example/a.iso</url>"
                         "<url type=\"http\">gopher://x/a.iso</url>"
                         "<url type=\"https\">not a url</url>",
                         "<size> 1234 </size><os>Linux-x86</os><language>en</language><version>1.0</version>"
                         "<verification><hash type=\"md5\">abc</hash><hash type=\"sha256\">zzz</hash>"
                         "<hash type=\"sha1\"> def </hash></verification>") +
                        File("only-rsync.bin", "<url type=\"rsync\">rsync://r/x</url>") +
                        File("zero.bin", "<url>http://h/zero</url>", "<size>0</size>"),
                    "<description> Two files </description>"),
                error);
  ASSERT_TRUE(m) << error->description;
  EXPECT_EQ(m->description(), "Two files");
  ASSERT_EQ(m->files().size(), 2u) << "the file with only rsync mirrors is left out";
  const auto& a = m->files()[0];
  EXPECT_EQ(a.fileName(), "a.iso");
  ASSERT_EQ(a.urls().size(), 2u);
  EXPECT_EQ(a.urls()[0].String(), "http://one.example/a.iso");
  EXPECT_EQ(a.urls()[1].String(), "ftp://two.example/a.iso");
  EXPECT_EQ(a.checksum(), "sha1;def") << "md5 then sha1 gives sha1";
  EXPECT_EQ(a.fileSize(), 1234);
  EXPECT_EQ(a.platform(), "Linux-x86");
  EXPECT_EQ(a.language(), "en");
  EXPECT_EQ(a.version(), "1.0");
  EXPECT_FALSE(a.enabled());
  EXPECT_EQ(m->files()[1].fileSize(), 0) << "a size of 0 leaves the size unknown";
  EXPECT_FALSE(m->files()[1].checksum());
}

TEST(Metalink, RefusesWhatItCannotUse) {
  const struct {
    std::string text;
    std::string domain;
    int code;
  } cases[] = {
      {"<metalink><file name=\"a\"/></metalink>", kMetalinkErrorDomain, kMetalinkNoFiles},
      {Doc(File("a", "<url type=\"rsync\">rsync://r/a</url>")), kMetalinkErrorDomain, kMetalinkNoUsableFile},
      {Doc(""), kMetalinkErrorDomain, kMetalinkNoUsableFile},
      {"<metalink><files>", kXMLErrorDomain, 0},
      {"", kXMLErrorDomain, 0},
  };
  for (const auto& c : cases) {
    std::optional<MetalinkError> error;
    EXPECT_FALSE(Read(c.text, error)) << c.text;
    ASSERT_TRUE(error) << c.text;
    EXPECT_EQ(error->domain, c.domain) << c.text;
    if (c.code != 0) {
      EXPECT_EQ(error->code, c.code) << c.text;
    }
  }
}

TEST(Metalink, HostileDocumentsAreRefusedCleanly) {
  const std::string good = Doc(File("a", "<url>http://h/a</url>"));
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<d>";
  std::string wide = "<metalink><files>";
  for (std::size_t i = 0; i <= kMaxMetalinkFiles; ++i)
    wide += "<file name=\"f\"><resources><url>http://h/f</url></resources></file>";
  wide += "</files></metalink>";
  const struct {
    std::string name;
    std::string text;
    int code;
  } cases[] = {
      {"entity expansion",
       "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
       "\"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
       "<metalink><files><file "
       "name=\"&b;\"><resources><url>http://h/a</url></resources></file></files></metalink>",
       kMetalinkDocumentType},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
       "<metalink><files><file "
       "name=\"&x;\"><resources><url>http://h/a</url></resources></file></files></metalink>",
       kMetalinkDocumentType},
      {"document type only", "<!DOCTYPE metalink SYSTEM \"http://127.0.0.1:1/m.dtd\">" + good,
       kMetalinkDocumentType},
      {"huge", good + std::string(kMaxMetalinkBytes, ' '), kMetalinkTooLarge},
      {"deep", "<metalink><files>" + deep, -1},
      {"deep and closed", "<metalink><x>" + deep.substr(0, 3 * 40) + std::string(40, ' ') + "</x></metalink>",
       -1},
      {"many files", wide, kMetalinkTooManyFiles},
  };
  for (const auto& c : cases) {
    std::optional<MetalinkError> error;
    EXPECT_FALSE(Read(c.text, error)) << c.name;
    ASSERT_TRUE(error) << c.name;
    if (c.code >= 0) {
      EXPECT_EQ(error->code, c.code) << c.name;
    }
  }
  // A properly nested deep document is refused for its depth.
  std::string nested = "<metalink><files>";
  for (int i = 0; i < 40; ++i) nested += "<d>";
  for (int i = 0; i < 40; ++i) nested += "</d>";
  nested += "</files></metalink>";
  std::optional<MetalinkError> error;
  EXPECT_FALSE(Read(nested, error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, kMetalinkTooDeep);
}

TEST(Metalink, NamesBecomePlainFileNames) {
  const struct {
    const char* in;
    std::optional<std::string> out;
  } cases[] = {
      {"a.iso", "a.iso"},    {"../../etc/passwd", "etcpasswd"},
      {"/abs/x", "absx"},    {"..", std::nullopt},
      {".hidden", "hidden"}, {"a\nb\tc", "abc"},
      {"  ", std::nullopt},  {"c:\\x", "cx"},
  };
  for (const auto& c : cases) EXPECT_EQ(MetalinkFileName(c.in), c.out) << c.in;
  EXPECT_LE(MetalinkFileName(std::string(1000, 'x'))->size(), 244u);
}

class MetalinkAddTest : public testing_support::QueueTest {};

TEST_F(MetalinkAddTest, EnabledFilesAreAddedWithAllMirrorsSizeNameAndChecksum) {
  std::optional<MetalinkError> error;
  auto m = Read(Doc(File("../x.iso", "<url>http://one/a</url><url>ftp://two/a</url>",
                         "<size>99</size><verification><hash type=\"md5\">0123</hash></verification>") +
                    File("b.bin", "<url>http://one/b</url>")),
                error);
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->addEnabledFiles().empty()) << "nothing is added when nothing is enabled";
  EXPECT_TRUE(gQueueItems.empty());
  m->files()[0].setEnabled(true);
  const auto added = m->addEnabledFiles();
  ASSERT_EQ(added.size(), 1u);
  auto w = LookUpDownloadWrapper(added[0]);
  ASSERT_TRUE(w);
  ASSERT_EQ(w->URLData().size(), 2u);
  EXPECT_EQ(*w->URLData()[1].Find("url"), values::Value("ftp://two/a"));
  EXPECT_EQ(w->fileSize(), 99);
  EXPECT_EQ(w->filename(), "x.iso");
  EXPECT_EQ(w->element().checksum, "md5;0123");
  EXPECT_TRUE(w->element().batchID.has_value());
}

TEST_F(MetalinkAddTest, AnInvalidFileShowsTheAlert) {
  fakes::ScopedFakeUi ui;
  const std::string path = testsupport::MakeTempDir("metalink") + "/bad.metalink";
  testsupport::WriteFile(path, Doc(File("a", "<url type=\"rsync\">rsync://r/a</url>")));
  OpenMetalinkFile(files::FileRef(path));
  ASSERT_EQ(ui->alerts.size(), 1u);
  EXPECT_EQ(ui->alerts[0].message, "bad.metalink does not appear to be a valid metalink file.");
  EXPECT_TRUE(ui->alerts[0].explanation.has_value());
  EXPECT_TRUE(gQueueItems.empty());
}

TEST_F(MetalinkAddTest, SelectionWindowAddsOnlyCheckedFilesAndIsGrabbed) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  toolbox::Application::Shared();
  std::optional<MetalinkError> error;
  auto m = Read(
      Doc(File("first.iso", "<url>http://one/1</url>", "<size>734003200</size><os>Linux</os>") +
              File("second.iso", "<url>http://one/2</url>", "<language>de</language><version>2</version>") +
              File("third.txt", "<url>http://one/3</url>"),
          "<description>Three example files</description>"),
      error);
  ASSERT_TRUE(m);
  auto controller = ShowMetalinkWindow(std::move(m));
  ASSERT_TRUE(controller && controller->window());
  ASSERT_TRUE(controller->FileCheckBox(2));
  const std::string label = MetalinkFileLabel(controller->metalink().files()[0]);
  EXPECT_EQ(controller->FileCheckBox(0)->Text(), label);
  EXPECT_EQ(label.rfind("first.iso  (", 0), 0u);
  EXPECT_NE(label.find("[Linux]"), std::string::npos);
  controller->FileCheckBox(0)->Click();
  controller->FileCheckBox(2)->Click();
  const std::string png = testsupport::MakeTempDir("metalinkwindow") + "/metalink.png";
  EXPECT_TRUE(controller->window()->GrabToPng(png));
  // TRUVANE_KEEP_GRABS names a folder that keeps the picture for a look after the run.
  if (const char* keep = std::getenv("TRUVANE_KEEP_GRABS"))
    std::filesystem::copy_file(png, std::string(keep) + "/metalink.png",
                               std::filesystem::copy_options::overwrite_existing);
  auto window = controller->window();
  window->ProcessCommand(toolbox::kCommandOK);
  EXPECT_TRUE(window->IsReleased());
  ASSERT_EQ(gQueueItems.size(), 2u);
  std::vector<std::string> names;
  for (const auto& [uid, w] : gQueueItems) names.push_back(w->filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"first.iso", "third.txt"}));
}

TEST_F(MetalinkAddTest, HeadlessEveryFileIsChosen) {
  std::optional<MetalinkError> error;
  auto m = Read(Doc(File("a", "<url>http://one/a</url>") + File("b", "<url>http://one/b</url>")), error);
  ASSERT_TRUE(m);
  if (toolbox::Application::Exists() && !toolbox::Application::Shared().IsOffscreen()) GTEST_SKIP();
  EXPECT_FALSE(PresentMetalink(std::move(m)));
  EXPECT_EQ(gQueueItems.size(), 2u);
}

}  // namespace
}  // namespace queue
