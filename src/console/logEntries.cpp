// The front end's log entries, result sizes and the way back to the menu.

#include "console/frontend.h"

#include <cstring>

#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/session.h"
#include "console/sessionLog.h"
#include "model/session.h"

namespace kav {

// --- The log and the way back ----------------------------------------------------

std::string sizesText(const DES& des) {
  return "  (" + std::to_string(des.size()) + "," + std::to_string(countTransitions(des)) + ")";
}

std::string labelsText(const EventList& labels) {
  std::string text;
  for (std::uint16_t e : labels) {
    if (!text.empty()) text += ',';
    text += labelText(e);
  }
  return text;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

std::string labelText(long e) { return e == EPSILON_LABEL ? std::string("e") : std::to_string(e); }

void writeLogEntry(std::string_view outName, std::string_view text, bool viaScratch) {
  std::string entry(text);
  const int indent = static_cast<int>(outName.size()) + 3;
  if (session.clockingMode) {
    entry += '\n';
    entry.append(static_cast<std::size_t>(indent), ' ');
    entry += "Computing time = ";
    entry += computingTime();
  }
  entry += "\n\n";
  if (viaScratch) appendLogWrapped(entry, indent);
  else appendLogDirect(entry);
}

void freeAndReturn(DES& result) {
  writeStatusLine(22, "");
  writeStatusLine(23, "Freeing memory:  Please wait...");
  freeDES(result);
}

DialogResult completeProcedure(std::string_view outName, std::string_view text, bool viaScratch, DES& result) {
  writeLogEntry(outName, text, viaScratch);
  waitForEnterToReturn();
  freeAndReturn(result);
  return DONE;
}

DialogResult completeWithResult(std::string_view outName, std::string_view text, bool viaScratch, DES& result) {
  showResultSizes({resultSizeText(outName, result)});
  return completeProcedure(outName, text, viaScratch, result);
}

std::string resultSizeText(std::string_view name, const DES& des) {
  const auto counted = [](long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  return std::string(name) + ": " + counted(des.size(), "state", "states") + ", " +
         counted(countTransitions(des), "transition", "transitions");
}

void showResultSizes(const std::vector<std::string>& sizes) {
  std::vector<std::string> lines;
  for (const std::string& size : sizes) {
    if (!lines.empty() && lines.back().size() + 2 + size.size() < SCREEN_COLUMNS) lines.back() += "; " + size;
    else lines.push_back(size);
  }
  const int row = whereY(), column = whereX();
  std::size_t next = 0;
  for (int r : {22, 24})
    if (next < lines.size() && screenRow(r).find_first_not_of(' ') == std::string::npos)
      writeStatusLine(r, lines[next++]);
  moveCursor(column, row);
}

} // namespace kav
