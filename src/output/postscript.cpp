#include "output/postscript.h"

#include "model/session.h"
#include "output/listing.h"

namespace kav {

namespace {

// Page parameters, single precision as the printer-side arithmetic
// expects them; "%g" writes each exactly as given here.
struct PageParameters {
  bool landscape = false;
  bool twinpage = false;
  bool doubleside = false;
  float sheetheight = 11.0f; // inches
  float sheetwidth = 8.5f;   // inches
  float pageMargin = 1.2f;   // inches; half of it on the right and at the top
  float bindMargin = 0.3f;   // inches, added on the left
  float colMargin = 0.2f;    // inches between twin pages
  bool noborder = false;
  float borderwidth = 0.3f; // points
  bool noheader = false;
  float headersize = 0.22f;        // inches
  float bodyfontwidth = 7.10234f;  // points: Courier scaled to 80 columns
  float bodyfontheight = 7.98953f; // points: also the line spacing
  float columns = POSTSCRIPT_COLUMNS;
  float lines = POSTSCRIPT_LINES;
};

const char* boolean(bool value) { return value ? "true" : "false"; }

// The procedures after the parameters. Written as one text: the layout
// arithmetic is PostScript's, not ours.
constexpr const char* PROLOG_PROCEDURES = R"(% Utilities
/xdef {exch def} bind def
/getfont {exch findfont exch scalefont} bind def
/getscaledfont {/fh xdef /fw xdef findfont [fw 0 0 fh 0 0] makefont} bind def
% Font sizes
/filenamefontsize 12 def
/datefontsize filenamefontsize 0.8 mul def
/headermargin filenamefontsize 0.25 mul def
/bodymargin bodyfontheight 0.7 mul def
% Fonts
/filenamefont /Helvetica-Bold filenamefontsize getfont def
/datefont /Helvetica datefontsize getfont def
/bodyfont /Courier bodyfontwidth bodyfontheight getscaledfont def
/boldfont /Courier-Bold bodyfontwidth bodyfontheight getscaledfont def
/italicfont /Courier-Oblique bodyfontwidth bodyfontheight getscaledfont def
/bolditalicfont /Courier-BoldOblique bodyfontwidth bodyfontheight getscaledfont def
% Rendering of the body text
/Normal {bodyfont setfont} bind def
/Bold {boldfont setfont} bind def
/Italic {italicfont setfont} bind def
/BoldItalic {bolditalicfont setfont} bind def
/s {show} bind def
/B {Bold s Normal} bind def
/I {Italic s Normal} bind def
/BI {BoldItalic s Normal} bind def
/b {bodyfontwidth mul neg 0 rmoveto} bind def
/c {currentpoint 3 -1 roll show moveto} bind def
/n {currentpoint exch pop bodyfontheight sub textleft exch moveto} bind def
/N {s n} bind def
/U {dup stringwidth pop exch currentpoint 3 -1 roll show
    gsave newpath moveto 0 -1.5 rmoveto 0 rlineto 0.5 setlinewidth stroke grestore} bind def
/BU {Bold U Normal} bind def
Normal
/bodyfontwidth (0) stringwidth pop def
% Logical page size
/pagewidth bodyfontwidth columns mul bodymargin 2 mul add def
/pageheight bodyfontheight lines mul bodymargin 2 mul add headersize add def
/textleft bodymargin def
% Margins, the upper corners of the logical pages, the sheet number
/rightmargin page_margin 2 div def
/leftmargin rightmargin bind_margin add def
/topmargin rightmargin def
landscape {
  /pagex1 leftmargin def
  /pagey1 sheetwidth topmargin sub def
  /pagex2 twinpage {pagex1 pagewidth add col_margin add} {pagex1} ifelse def
  /pagey2 pagey1 def
  /sheetnumx sheetheight 2 div def
  /sheetnumy rightmargin 2 div def
} {
  /pagex1 leftmargin def
  /pagey1 sheetheight topmargin sub def
  /pagex2 pagex1 def
  /pagey2 twinpage {pagey1 pageheight sub col_margin sub} {pagey1} ifelse def
  /sheetnumx sheetwidth 2 div def
  /sheetnumy rightmargin 2 div def
} ifelse
% Numbers and widths of the header
/pnum 12 string def
/empty 12 string def
datefont setfont
/datewidth date stringwidth pop def
/filenameroom pagewidth filenamefontsize 4 mul sub datewidth sub (Page 999) stringwidth pop sub def
/headerbase headersize neg headersize datefontsize sub 2 div add def
% The document, the file and the pages
/startdoc {/sheetside 0 def /pageside 0 def /offset 0 def /sheet 1 def} bind def
/newfile {
  /filename xdef
  /filenamefontuse filenamefont def
  filenamefont setfont
  filename stringwidth pop dup filenameroom gt
    {filenameroom exch div filenamefontsize mul /Helvetica-Bold exch getfont /filenamefontuse xdef}
    {pop} ifelse
  /pagenum 1 def
} bind def
/sheetnumber {
  gsave datefont setfont
  sheet pnum cvs dup stringwidth pop 2 div sheetnumx exch sub sheetnumy moveto show
  grestore
} bind def
/printpage {
  pagesave restore
  noborder not {sheetnumber} if
  showpage
  /sheet sheet 1 add def
  /pageside 0 def
  doubleside {/sheetside 1 sheetside sub def} if
} bind def
/cleanup {
  twinpage pageside 1 eq and {noborder not {sheetnumber} if showpage /sheet sheet 1 add def /pageside 0 def} if
  doubleside sheetside 1 eq and {showpage /sheetside 0 def} if
} bind def
/printborder {
  gsave borderwidth setlinewidth newpath
  0 0 moveto pagewidth 0 lineto pagewidth pageheight neg lineto 0 pageheight neg lineto closepath stroke
  noheader not {newpath 0 headersize neg moveto pagewidth headersize neg lineto stroke} if
  grestore
} bind def
/printheader {
  gsave
  datefont setfont
  headermargin headerbase moveto date show
  /pagestring pagenum pnum cvs def
  /pagestart pagewidth headermargin sub (Page ) stringwidth pop sub pagestring stringwidth pop sub def
  pagestart headerbase moveto (Page ) show pagestring show
  filenamefontuse setfont
  headermargin datewidth add pagestart add filename stringwidth pop sub 2 div
  headersize neg headersize filenamefontsize 0.7 mul sub 2 div add moveto filename show
  grestore
} bind def
/startpage {
  /pagesave save def
  landscape {90 rotate 0 sheetwidth neg translate} if
  pageside 0 eq {pagex1 pagey1} {pagex2 pagey2} ifelse translate
  noborder not {printborder} if
  noheader not {printheader} if
  Normal
  textleft headersize bodymargin add bodyfontheight add neg moveto
} bind def
/endpage {
  twinpage pageside 0 eq and {pagesave restore /pageside 1 def} {printpage} ifelse
  /pagenum pagenum 1 add def
} bind def
%%EndProlog
/docsave save def
startdoc
)";

void writeProlog(std::FILE* out, std::time_t when) {
  const PageParameters p;
  std::fprintf(out, "%%! Generated by the %s 1.0 Program.\n\n", PROGRAM_NAME);
  std::fputs("% Page geometry and the macros of the listing, in a dictionary of their own.\n", out);
  std::fputs("/kavdict 100 dict def\nkavdict begin\n", out);
  std::fputs("/inch {72 mul} def\n", out);
  std::fprintf(out, "/landscape %s def\n", boolean(p.landscape));
  std::fprintf(out, "/twinpage %s def\n", boolean(p.twinpage));
  std::fprintf(out, "/doubleside %s def\n", boolean(p.doubleside));
  std::fprintf(out, "/sheetheight %g inch def\n", static_cast<double>(p.sheetheight));
  std::fprintf(out, "/sheetwidth %g inch def\n", static_cast<double>(p.sheetwidth));
  std::fprintf(out, "/page_margin %g inch def\n", static_cast<double>(p.pageMargin));
  std::fprintf(out, "/bind_margin %g inch def\n", static_cast<double>(p.bindMargin));
  std::fprintf(out, "/col_margin %g inch def\n", static_cast<double>(p.colMargin));
  std::fprintf(out, "/noborder %s def\n", boolean(p.noborder));
  std::fprintf(out, "/borderwidth %g def\n", static_cast<double>(p.borderwidth));
  std::fprintf(out, "/noheader %s def\n", boolean(p.noheader));
  std::fprintf(out, "/headersize %g inch def\n", static_cast<double>(p.headersize));
  std::fprintf(out, "/bodyfontwidth %g def\n", static_cast<double>(p.bodyfontwidth));
  std::fprintf(out, "/bodyfontheight %g def\n", static_cast<double>(p.bodyfontheight));
  std::fprintf(out, "/columns %g def\n", static_cast<double>(p.columns));
  std::fprintf(out, "/lines %g def\n", static_cast<double>(p.lines));
  std::tm local{};
  ::localtime_r(&when, &local);
  char date[64];
  // The C library's asctime text without its newline.
  if (std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &local) == 0) date[0] = '\0';
  std::fprintf(out, "/date (%s) def\n", postScriptString(date).c_str());
  std::fputs(PROLOG_PROCEDURES, out);
}

void writeLine(std::FILE* out, std::string_view text) {
  std::fputc('(', out);
  const std::string escaped = postScriptString(text);
  std::fwrite(escaped.data(), 1, escaped.size(), out);
  std::fputs(")N\n", out);
}

} // namespace

std::string postScriptString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 32 || c > 126) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += ch;
    }
  }
  return out;
}

void writePostScriptDat(std::FILE* out, const DES& dat, std::string_view name, std::time_t when) {
  writeProlog(out, when);
  std::fprintf(out, "cleanup\n(%s) newfile\n/sheet 1 def\n\n\n\nstartpage\n", postScriptString(name).c_str());

  writeLine(out, name);
  writeLine(out, "Control data are displayed as a list of supervisor states");
  writeLine(out, "where disabling occurs, together with the events that must");
  writeLine(out, "be disabled there.");
  std::fputs("n\n", out);
  writeLine(out, std::string(name) + (isControllableTable(dat) ? " is CONTROLLABLE" : " is NOT CONTROLLABLE"));
  std::fputs("n\n", out);
  writeLine(out, "control data:");

  int count = POSTSCRIPT_HEAD_LINES;
  // A page is ended when the next line would not fit, so a table that
  // fills its last page exactly leaves no empty page behind.
  const auto nextLine = [&](std::string_view text) {
    if (count >= POSTSCRIPT_LINES) {
      std::fputs("endpage\nstartpage\n", out);
      count = 0;
    }
    writeLine(out, text);
    ++count;
  };
  if (!hasTableEntries(dat)) {
    nextLine("empty.");
  } else {
    DatTableCursor cursor;
    std::string line;
    while (nextDatTableLine(dat, cursor, DAT_LISTING_GAP_BASE, line)) nextLine(line);
    std::fputs("n\n", out);
  }
  std::fputs("endpage\n\n%%Trailer\ncleanup\ndocsave restore end\n", out);
}

} // namespace kav
