// The tessaly-project tool, run as scripts run it. JSON is checked with
// python3's parser, so what the tool prints must be valid JSON.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "printlayout/file/ProjectFile.h"
#include "printlayout/model/Project.h"

namespace tessaly {
namespace {

std::string BinDir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.find_last_of('/'));
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A 2 x 1 24-bit BMP.
void WriteBmp(const std::string& path) {
  const unsigned char bmp[] = {'B',  'M',  62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0,   0, 40, 0, 0,   0,    2,    0, 0,
                               0,    1,    0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0,   8, 0,  0, 0,   0x13, 0x0B, 0, 0,
                               0x13, 0x0B, 0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 255, 0, 0,  0, 255, 0,    0,    0};
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof(bmp));
}

class ProjectTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly-tool-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    tool_ = BinDir() + "/tessaly-project";
    ASSERT_EQ(access(tool_.c_str(), X_OK), 0) << tool_;
    // Headless and with a registry of its own.
    setenv("VELMARK_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    unsetenv("VELMARK_REGISTRY_DIR");
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Result Tool(const std::vector<std::string>& args) {
    std::string command = "'" + tool_ + "'";
    for (const auto& a : args) command += " '" + a + "'";
    command += " >'" + Path("out.txt") + "' 2>'" + Path("err.txt") + "'";
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(Path("out.txt"));
    r.err = ReadAll(Path("err.txt"));
    return r;
  }

  // Evaluates a Python expression over the JSON in `json` (bound to d).
  std::string Json(const std::string& json, const std::string& expression) {
    std::ofstream(Path("doc.json")) << json;
    std::ofstream(Path("query.py")) << "import json, sys\nd = json.load(open(sys.argv[1], encoding='utf-8'))\nprint("
                                    << expression << ")\n";
    const std::string command =
        "python3 '" + Path("query.py") + "' '" + Path("doc.json") + "' >'" + Path("py.txt") + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "invalid: " + ReadAll(Path("py.txt"));
    std::string value = ReadAll(Path("py.txt"));
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  }

  void SkipWithoutPython() {
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  }

  std::string dir_;
  std::string tool_;
};

TEST_F(ProjectTool, NewLaysOutImagesAndDumpShowsEveryField) {
  SkipWithoutPython();
  WriteBmp(Path("a.bmp"));
  WriteBmp(Path("b.bmp"));
  Result made = Tool({"new", Path("p.tsp"), Path("a.bmp"), Path("b.bmp"), Path("missing.png")});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "2 image(s) on 1 page(s), 1 file(s) skipped\n");

  Result dump = Tool({"dump", Path("p.tsp")});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.err, "");
  EXPECT_EQ(Json(dump.out, "d['fileVersion'], d['name'], len(d['pages'])"), "201 Untitled 2");
  EXPECT_EQ(Json(dump.out, "[(p['x'], p['y'], p['width'], p['height'], p['laidOut']) for p in d['pages'][1]]"),
            "[(200, 200, 546, 620, 1), (776, 200, 546, 620, 1)]");
  EXPECT_EQ(Json(dump.out, "d['pages'][1][0]['pixelWidth'], d['pages'][1][0]['format'], d['pages'][1][0]['comment']"),
            "2 1 &[Image]");
  EXPECT_EQ(Json(dump.out, "d['imagesFont']['face'], d['headerFonts'][2]['size'], d['footerTexts']"),
            "Tahoma 90 ['', '', '']");
  // Every model field is there, under its own name.
  EXPECT_EQ(Json(dump.out, "len(d)"), "49");
  EXPECT_EQ(Json(dump.out, "sorted(d['pages'][1][0].keys())"),
            "['comment', 'format', 'height', 'laidOut', 'pageIndex', 'path', 'pixelHeight', 'pixelWidth', "
            "'plane', 'thumbHeight', 'thumbWidth', 'width', 'x', 'y']");
}

TEST_F(ProjectTool, NewProjectsTakeTheStoredShadow) {
  SkipWithoutPython();
  TessalySettings stored;
  stored.shadowImagesCX = 10;
  stored.shadowImagesCY = -20;
  ASSERT_TRUE(stored.save());
  WriteBmp(Path("a.bmp"));
  ASSERT_EQ(Tool({"new", Path("p.tsp"), Path("a.bmp")}).status, 0);
  Result dump = Tool({"dump", Path("p.tsp")});
  EXPECT_EQ(Json(dump.out, "d['shadowDx'], d['shadowDy']"), "10 -20");
}

TEST_F(ProjectTool, ConvertAndArrange) {
  SkipWithoutPython();
  NullEnvironment env;
  Project project(env);
  project.name = "Caf\xe9";  // 8-bit text from an older system
  for (int i = 0; i < 5; ++i) project.addImage("/p/" + std::to_string(i) + ".jpg", "", 100, 50, 1, 0, 12);
  ASSERT_TRUE(saveProject(project, Path("in.tsp")));

  Result arranged = Tool({"arrange", Path("in.tsp"), Path("out.tsp"), "1", "1", "2", "2", "50", "50", "1"});
  ASSERT_EQ(arranged.status, 0) << arranged.err;
  Result dump = Tool({"dump", Path("out.tsp")});
  ASSERT_EQ(dump.status, 0);
  EXPECT_EQ(Json(dump.out, "[len(p) for p in d['pages']]"), "[0, 4, 1]");
  EXPECT_EQ(Json(dump.out, "d['pages'][1][1]['x'], d['pages'][1][1]['width']"), "1075 825");
  EXPECT_EQ(Json(dump.out, "d['name']"), "Caf\xc3\xa9");

  ASSERT_EQ(Tool({"convert", Path("out.tsp"), Path("copy.tsp")}).status, 0);
  EXPECT_EQ(ReadAll(Path("copy.tsp")), ReadAll(Path("out.tsp")));
}

TEST_F(ProjectTool, SettingsReadsOnlyTheSettings) {
  SkipWithoutPython();
  NullEnvironment env;
  Project project(env);
  project.marginLeft = 123;
  project.addImage("/p/x.jpg", "", 100, 50, 1, 0, 12);
  ASSERT_TRUE(saveProject(project, Path("s.tsp")));
  Result dump = Tool({"settings", Path("s.tsp")});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(Json(dump.out, "d['marginLeft'], [len(p) for p in d['pages']]"), "123 [0, 0]");
}

TEST_F(ProjectTool, FailuresGiveStatusOneAndOneLine) {
  const auto oneLine = [](const Result& r) {
    EXPECT_EQ(r.status, 1);
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  };
  oneLine(Tool({"dump", Path("nothing.tsp")}));
  oneLine(Tool({"arrange", Path("nothing.tsp"), Path("o.tsp"), "1", "1", "x", "2", "3", "3", "0"}));
  oneLine(Tool({"arrange", Path("nothing.tsp"), Path("o.tsp"), "1", "1", "2", "2", "3", "3", "7"}));
  oneLine(Tool({"convert", Path("nothing.tsp"), Path("o.tsp")}));
  EXPECT_EQ(Tool({"frobnicate"}).status, 1);
  EXPECT_EQ(Tool({}).status, 1);

  // A save that cannot happen leaves no file behind and says so.
  NullEnvironment env;
  Project project(env);
  ASSERT_TRUE(saveProject(project, Path("ok.tsp")));
  oneLine(Tool({"convert", Path("ok.tsp"), Path("no/such/folder/o.tsp")}));
}

}  // namespace
}  // namespace tessaly
