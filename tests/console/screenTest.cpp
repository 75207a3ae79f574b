// The console layer through the library: the in-memory screen, the line
// editors fed from a script, and the session log's formatting.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/frontend.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/sessionLog.h"
#include "model/des.h"
#include "model/session.h"

namespace kav {
namespace {

// Keys for the editors: script mode reading from a string.
class Keys {
public:
  explicit Keys(const std::string& keys) : text_(keys) {
    session.autotest = true;
    session.scriptFile = fmemopen(text_.data(), text_.size(), "rb");
  }
  ~Keys() {
    std::fclose(session.scriptFile);
    session.scriptFile = nullptr;
    session.autotest = false;
  }
  // True when every key has been read.
  bool used() const { return std::fgetc(session.scriptFile) == EOF; }

private:
  std::string text_;
};

std::string trimmedRow(int row) {
  std::string text = screenRow(row);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

TEST(Screen, WritesWrapAtTheLastColumnAndPassingTheBottomScrolls) {
  clearScreen();
  gotoXY(79, 1);
  writeText("abc");
  EXPECT_EQ(screenRow(0).substr(78), "ab");
  EXPECT_EQ(trimmedRow(1), "c");
  EXPECT_EQ(whereX(), 1);
  EXPECT_EQ(whereY(), 1);

  clearScreen();
  writeText("top");
  gotoXY(1, 25);
  writeText("bottom\nnext");
  EXPECT_EQ(trimmedRow(0), "");
  EXPECT_EQ(trimmedRow(23), "bottom");
  EXPECT_EQ(trimmedRow(24), "next");
}

TEST(Screen, ClearToEndOfLineAndTheEscapeHintKeepTheCursor) {
  clearScreen();
  writeText("0123456789");
  gotoXY(4, 1);
  clearToEndOfLine();
  EXPECT_EQ(trimmedRow(0), "012");
  showEscHint();
  EXPECT_EQ(trimmedRow(23), "Press <ESC> to cancel");
  EXPECT_EQ(whereX(), 3);
  EXPECT_EQ(whereY(), 0);
  writeText("\tx");
  EXPECT_EQ(trimmedRow(0), "012     x");
}

TEST(Screen, AbbreviatesLongTextsToLimitMinusOneCharacters) {
  const std::string path(70, 'p');
  const std::string shown = abbreviate("abc" + path.substr(3, 15) + std::string(52, 'z'), 59);
  EXPECT_EQ(shown.size(), 58u);
  EXPECT_EQ(shown, "abc..." + std::string(52, 'z'));
  EXPECT_EQ(abbreviate("short", 59), "short");
  EXPECT_EQ(abbreviate(std::string(58, 'x'), 59), std::string(58, 'x'));
}

TEST(ReadName, TakesUpperCaseRefusesALeadingBlankSlashAndOverlongText) {
  clearScreen();
  std::string name = "OLD";
  {
    Keys keys(std::string("\r a/b") + std::string(25, 'c') + "\r");
    EXPECT_EQ(readName(name, 20), ENTER_KEY);
    EXPECT_TRUE(keys.used());
  }
  EXPECT_EQ(name, "AB" + std::string(18, 'C'));
  EXPECT_EQ(trimmedRow(0), name);
  {
    Keys keys("x\x08yz\x1b");
    EXPECT_EQ(readName(name, 20), ESCAPE_KEY);
  }
  EXPECT_EQ(name, "AB" + std::string(18, 'C'));
}

TEST(ReadIntInRange, AcceptsOnlyValuesInRangeWithinTheFieldWidth) {
  EXPECT_FALSE(isValidNumber("0", 2, 20));
  EXPECT_TRUE(isValidNumber("0", -1, 5));
  EXPECT_FALSE(isValidNumber("00", -1, 5));
  EXPECT_FALSE(isValidNumber("-", -1, 5));
  EXPECT_FALSE(isValidNumber("-0", -1, 5));
  clearScreen();
  int key = 0;
  {
    // 0, 1 and 21 are refused; the third digit of "215" does not fit.
    Keys keys("0\r\x08" "1\r\x08" "215\r\x08\x08" "20\r");
    EXPECT_EQ(readIntInRange(key, 2, 20), 20);
    EXPECT_TRUE(keys.used());
  }
  EXPECT_EQ(key, ENTER_KEY);
  {
    // '-' only leads; "3-" is typed as "3".
    Keys keys("3-\r");
    EXPECT_EQ(readIntInRange(key, -1, 999), 3);
  }
  {
    Keys keys("-1\r");
    EXPECT_EQ(readIntInRange(key, -1, 999), -1);
  }
  {
    Keys keys("12\x1b");
    EXPECT_EQ(readIntInRange(key, 2, 20), 0);
    EXPECT_EQ(key, ESCAPE_KEY);
  }
}

TEST(ReadEventOrE, ReadsTheSilentEventOnlyAlone) {
  clearScreen();
  int key = 0;
  {
    Keys keys("1e\r\x08\x08" "e\r");
    EXPECT_EQ(readEventOrE(key), EPSILON_LABEL);
    EXPECT_TRUE(keys.used());
  }
  EXPECT_EQ(key, 'e');
  {
    Keys keys("999\r");
    EXPECT_EQ(readEventOrE(key), 999);
  }
}

TEST(ReadStateOrStar, ReadsAStarOnlyAlone) {
  clearScreen();
  int key = 0;
  {
    Keys keys("1*\r\x08\x08*\r");
    EXPECT_EQ(readStateOrStar(key, 50), 0);
    EXPECT_TRUE(keys.used());
  }
  EXPECT_EQ(key, '*');
  {
    Keys keys("51\r\x08" "\r");
    EXPECT_EQ(readStateOrStar(key, 50), 5);
  }
}

TEST(SessionLog, FormatsComputingTimes) {
  EXPECT_EQ(formatComputingTime(59), "00:00:59");
  EXPECT_EQ(formatComputingTime(3661), "01:01:01");
  EXPECT_EQ(formatComputingTime(90061), "1 (days) 01:01:01");
  EXPECT_EQ(formatComputingTime(-5), "00:00:00");
}

TEST(SessionLog, RestartsTheLineLengthAfterANewline) {
  EXPECT_EQ(wrapLogText(std::string(70, 'x') + "\n" + std::string(70, 'y'), 3),
            std::string(70, 'x') + "\n" + std::string(70, 'y'));
}

TEST(CheckNondeterminism, ReportsSharedLabelsAndSilentTransitionsGroupedByLabel) {
  DES des = allocStates(3);
  insertTransition(des[0], 2, 1);
  insertTransition(des[0], 2, 2);
  insertTransition(des[1], 5, 2);
  insertTransition(des[2], EPSILON_LABEL, 0);
  {
    Keys keys("y\r");
    EXPECT_EQ(checkNondeterminism(des, "G", true), PROMPT_OK);
    EXPECT_TRUE(keys.used());
  }
  const std::string text = screenText();
  EXPECT_NE(text.find("Check G for nondeterminism?  (y/*n)  y\n\nWARNING: G is nondeterministic!\n"
                      "Nondeterministic transitions:\n"
                      "[    0,  2,    1]  [    0,  2,    2]\n\n"
                      "[    2,  e,    0]\n\n"
                      "Please revise G using the editor.\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(trimmedRow(23), "Press <Enter> to continue");

  DES fine = allocStates(2);
  insertTransition(fine[0], 1, 1);
  {
    Keys keys("y");
    EXPECT_EQ(checkNondeterminism(fine, "H", false), PROMPT_OK);
  }
  EXPECT_NE(screenText().find("H is OK."), std::string::npos);
  {
    Keys keys("\x1b");
    EXPECT_EQ(checkNondeterminism(fine, "H", false), PROMPT_CANCELLED);
  }
}

} // namespace
} // namespace kav
