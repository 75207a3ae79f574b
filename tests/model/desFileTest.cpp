#include "model/desfile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <new>

#include "model/session.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Little-endian bytes, for files written by hand.
struct Bytes {
  std::string data;
  Bytes& text(const std::string& s) {
    data += s;
    return *this;
  }
  Bytes& num(std::uint64_t v, int width) {
    for (int k = 0; k < width; ++k) data += static_cast<char>(v >> (8 * k));
    return *this;
  }
  Bytes& header(const std::string& magic = "Z8^0L;2", std::uint32_t constant = 0xFF00AA55u, std::uint32_t type = 0) {
    return text("any header text\x1a").text(magic).num(constant, 4).num(type, 4).num(0, 4);
  }
  Bytes& transition(std::int64_t target, std::uint16_t event) {
    return num(static_cast<std::uint64_t>(target), 8).num(event, 2).num(0, 6);
  }
};

class DesFile : public ::testing::Test {
protected:
  TempDir dir;
  std::string path(const std::string& name = "A.DES") const { return dir.path + name; }
  LoadStatus load(const std::string& content, DES& des) {
    test::writeFile(path("X.DES"), content);
    std::int64_t init = 0;
    return loadDESFile(path("X.DES"), des, init);
  }
};

TEST_F(DesFile, RoundTripsInBothVersions) {
  DES des = makeDES(5, {{0, 1, 1}, {0, 2, 4}, {1, EPSILON_LABEL, 2}, {4, 999, 0}, {4, 999, 3}}, {0, 3});
  des[2].vocal = 10;
  des[3].vocal = -4096; // negative 13-bit outputs survive sign extension
  des[4].vocal = 4095;
  for (int version : {1, 2}) {
    SCOPED_TRACE(version);
    ASSERT_EQ(saveDESFile(path(), des, 0, version), SAVE_OK);
    EXPECT_EQ(test::readFile(path()), test::golden(version == 1 ? "V1.DES" : "V2.DES"));
    DES back;
    std::int64_t init = 7;
    ASSERT_EQ(loadDESFile(path(), back, init), LOAD_OK);
    EXPECT_EQ(init, 0);
    EXPECT_EQ(test::describe(back), test::describe(des));
    EXPECT_TRUE(isValidDES(back));
    EXPECT_EQ(back[0].reached, 1);
  }
  // Control data carry init -1; a missing file is not a malformed one.
  const DES data = makeDES(2, {{1, 2, 0}, {1, 5, 0}});
  ASSERT_EQ(saveDESFile(path("C.DAT"), data, -1, 2), SAVE_OK);
  DES back;
  std::int64_t init = 0;
  ASSERT_EQ(loadDESFile(path("C.DAT"), back, init), LOAD_OK);
  EXPECT_EQ(init, -1);
  EXPECT_EQ(test::describe(back), test::describe(data));
  EXPECT_EQ(loadDESFile(path("NONE.DES"), back, init), LOAD_MISSING);
}

TEST_F(DesFile, EmptyDesIsHeaderSizeThreeTerminatorsAndEndBlock) {
  ASSERT_EQ(saveDESFile(path(), DES{}, 0, 2), SAVE_OK);
  // The block of 40 bytes runs from the size through the vocal terminator.
  const std::string expected = Bytes().text(DES_HEADER_TEXT).num(26, 1).text("Z8^0L;2").num(0xFF00AA55u, 4).num(0, 4)
                                   .num(40, 4).num(0, 8).num(0, 8).num(~0ull, 8).num(~0ull, 8).num(~0ull, 8)
                                   .num(0xFFFFFFFFu, 4).num(8, 4).num(0, 8).num(0, 8).data;
  EXPECT_EQ(test::readFile(path()), expected);
  DES back = makeDES(1, {});
  std::int64_t init;
  ASSERT_EQ(loadDESFile(path(), back, init), LOAD_OK);
  EXPECT_EQ(back.size(), 0);
}

TEST_F(DesFile, ReadsAnyHeaderTextAndVersionOnePackedWords) {
  // Six states, init -1, no markers, state 0 with one packed transition.
  const std::string v1 = Bytes().text(REDUCTION_HEADER_TEXT).num(26, 1).text("Z8^0L;1").num(0xFF00AA55u, 4).num(0, 4)
                             .num(0, 4).num(6, 4).num(0xFFFFFFFFu, 4).num(0xFFFFFFFFu, 4).num(0, 4).num(1, 2)
                             .num((3u << 22) | 5u, 4).num(0xFFFFFFFFu, 4).num(0xFFFFFFFFu, 4).data;
  DES des;
  test::writeFile(path("V1.DES"), v1);
  std::int64_t init = 0;
  ASSERT_EQ(loadDESFile(path("V1.DES"), des, init), LOAD_OK);
  EXPECT_EQ(init, -1);
  EXPECT_EQ(test::describe(des), "6: 0-3->5 | marked");
}

TEST_F(DesFile, RejectsMalformedFiles) {
  const auto body = [](Bytes b) {
    return b.num(2, 8).num(0, 8).num(1, 8).num(~0ull, 8).num(0, 8).num(1, 2).transition(1, 3).num(~0ull, 8).num(~0ull, 8);
  };
  const std::string good = body(Bytes().header()).data;
  DES des;
  ASSERT_EQ(load(good, des), LOAD_OK);

  struct Case {
    const char* what;
    std::string content;
  };
  const Case cases[] = {
      {"no byte 26", "just text"},
      {"unknown magic", body(Bytes().header("Z8^0L;3")).data},
      {"wrong format constant", body(Bytes().header("Z8^0L;2", 0x12345678u)).data},
      {"block type not 0", body(Bytes().header("Z8^0L;2", 0xFF00AA55u, 1)).data},
      {"negative size", Bytes().header().num(static_cast<std::uint64_t>(-5), 8).num(0, 8).data},
      {"size whose records overflow", Bytes().header().num(1ull << 62, 8).num(0, 8).data},
      {"marker out of range", Bytes().header().num(2, 8).num(0, 8).num(2, 8).num(~0ull, 8).data},
      {"source out of range",
       Bytes().header().num(2, 8).num(0, 8).num(~0ull, 8).num(5, 8).num(1, 2).transition(0, 1).data},
      {"target out of range",
       Bytes().header().num(2, 8).num(0, 8).num(~0ull, 8).num(0, 8).num(1, 2).transition(2, 1).data},
      {"negative target",
       Bytes().header().num(2, 8).num(0, 8).num(~0ull, 8).num(0, 8).num(1, 2).transition(-3, 1).data},
      {"vocal state out of range",
       Bytes().header().num(2, 8).num(0, 8).num(~0ull, 8).num(~0ull, 8).num(9, 8).num(12, 2).num(~0ull, 8).data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load(c.content, des), LOAD_MALFORMED);
    EXPECT_EQ(des.size(), 0);
  }
  // A file cut anywhere before its vocal terminator is truncated, never a DES.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(load(good.substr(0, cut), des), LOAD_MALFORMED);
  }
}

TEST_F(DesFile, SizeTooLargeToAllocateIsAnAllocationFailure) {
  // A valid file can be tiny and still name a huge state count.
  const std::string huge = Bytes().header().num(1ull << 50, 8).num(0, 8).num(~0ull, 8).num(~0ull, 8).num(~0ull, 8).data;
  DES des;
  EXPECT_THROW((void)load(huge, des), std::bad_alloc);
}

TEST_F(DesFile, SortsTransitionListsThatAreNotSorted) {
  const std::string content = Bytes().header().num(3, 8).num(0, 8).num(~0ull, 8).num(0, 8).num(3, 2).transition(2, 5)
                                  .transition(1, 5).transition(2, 5).num(~0ull, 8).num(~0ull, 8).data;
  DES des;
  ASSERT_EQ(load(content, des), LOAD_OK);
  EXPECT_TRUE(isValidDES(des));
  EXPECT_EQ(test::describe(des), "3: 0-5->1 0-5->2 | marked");
}

TEST_F(DesFile, FailedSaveLeavesThePreviousFileIntactAndSaveKeepsPermissions) {
  const DES original = makeDES(2, {{0, 1, 1}}, {1});
  ASSERT_EQ(saveDESFile(path(), original, 0, 2), SAVE_OK);
  ::chmod(path().c_str(), 0640);
  const std::string before = test::readFile(path());
  // Version 1 cannot hold a label above 1023, so this save fails midway.
  const DES unrepresentable = makeDES(1, {{0, 2000, 0}});
  EXPECT_EQ(saveDESFile(path(), unrepresentable, 0, 1), SAVE_FAILED);
  EXPECT_EQ(test::readFile(path()), before);
  // A target that is a directory cannot be replaced.
  ::mkdir(path("D.DES").c_str(), 0755);
  EXPECT_EQ(saveDESFile(path("D.DES"), original, 0, 2), SAVE_FAILED);

  ASSERT_EQ(saveDESFile(path(), makeDES(1, {}), 0, 2), SAVE_OK);
  struct stat info;
  ASSERT_EQ(::stat(path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // No temporary file is left behind: only A.DES and the directory D.DES.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path)) ++entries;
  EXPECT_EQ(entries, 2);
}

TEST_F(DesFile, UserDirectoryLookupIgnoresCaseWhenTheExactNameIsMissing) {
  const std::string saved = session.userDir;
  session.userDir = dir.path;
  const DES des = makeDES(2, {{0, 1, 1}});
  ASSERT_EQ(saveDESFile(dir.path + "plant.des", des, 0, 2), SAVE_OK);
  DES back;
  std::int64_t init = 0;
  ASSERT_EQ(loadDES("PLANT", init, back), LOAD_OK);
  EXPECT_EQ(back.size(), 2);
  // A save replaces the file it matched instead of adding a second one.
  ASSERT_EQ(saveDES("PLANT", makeDES(3, {}), 0), SAVE_OK);
  EXPECT_FALSE(test::exists(dir.path + "PLANT.DES"));
  ASSERT_EQ(loadDESFile(dir.path + "plant.des", back, init), LOAD_OK);
  EXPECT_EQ(back.size(), 3);
  session.userDir = saved;
}

TEST_F(DesFile, ReductionSaverWritesEveryStateAndDropsOnlyInternalLabels) {
  std::FILE* stream = std::fopen(path("R.DES").c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  const std::vector<std::int64_t> markers{1, -1};
  const std::vector<Triple> triples{{0, 3, 1}, {0, 1000, 2}, {0, 1023, 1}, {2, 4, 0}};
  ASSERT_EQ(saveReductionDES(stream, 3, markers, triples), SAVE_OK);
  std::fclose(stream);
  EXPECT_EQ(test::readFile(path("R.DES")).substr(0, 27), std::string(REDUCTION_HEADER_TEXT) + "\x1a");
  DES des;
  std::int64_t init = -1;
  ASSERT_EQ(loadDESFile(path("R.DES"), des, init), LOAD_OK);
  EXPECT_EQ(init, 0);
  EXPECT_EQ(test::describe(des), "3: 0-3->1 0-1000->2 2-4->0 | marked 1");
}

} // namespace
} // namespace kav
