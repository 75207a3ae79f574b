#include "output/graphviz.h"

namespace kav {

std::string dotString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else {
      out += c < 32 || c > 126 ? '?' : ch;
    }
  }
  return out;
}

void writeDot(std::FILE* out, const DES& des, std::string_view desName, bool colour, std::time_t when) {
  std::fputs("digraph finite_state_machine {\n", out);
  std::tm local{};
  ::localtime_r(&when, &local);
  // The label opens with two empty lines so the title stands clear of the
  // picture, then names the DES and the time it was drawn.
  std::fprintf(out, "graph [label = \"\\n\\nDES %s \\n%4d.%02d.%02d/%02d:%02d \"];\n", dotString(desName).c_str(),
               local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  std::fputs("rankdir=LR;\n", out);
  std::fputs("node [shape = doublecircle]; ", out);
  bool anyMarked = false;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    if (!des[s].marked) continue;
    std::fprintf(out, "%lld ", static_cast<long long>(s));
    anyMarked = true;
  }
  if (anyMarked) std::fputs(";\n", out);
  if (des.size() >= 1) {
    std::fputs("a [shape = point, color = white];\n", out);
    std::fputs("node [shape = circle];\n", out);
    std::fputs(colour ? "a -> 0 [color = red];\n" : "a -> 0;\n", out);
    if (des.size() == 1 && des[0].transitionCount == 0) std::fputs("0\n", out);
  }
  for (std::int64_t s = 0; s < des.size(); ++s) {
    for (const Transition& t : transitionsOf(des[s])) {
      const auto target = static_cast<long long>(t.target);
      std::fprintf(out, "%lld -> %lld  [ label = \"", static_cast<long long>(s), target);
      const int vocal = target >= 0 && target < des.size() ? des[target].vocal : 0;
      const bool vocalShown = vocal >= 1 && vocal <= 999;
      if (t.event != EPSILON_LABEL) std::fprintf(out, "%d", static_cast<int>(t.event));
      if (vocalShown) std::fprintf(out, "/%d", vocal);
      std::fputc('"', out);
      if (colour) std::fputs(t.event % 2 == 1 ? ",color = red" : ",color = green", out);
      std::fputs(" ];\n", out);
    }
  }
  std::fputs("}", out);
}

} // namespace kav
