#pragma once

// The window's side of the reply parser: every line the controller sends. A line is a keyword, which sets
// the mode or makes the tool answer a request at once, or a data line, which the current mode gives its
// meaning. Which line is a keyword, what mode it leads to and what its numbers are is decided in
// protocol/reply_parser.h; here the lines reach the pages and the wire.

#include "pages/page_context.h"

class QString;

namespace DADOV {

enum class Keyword;
class DiagnosticsPage;
class TuningPage;
class ZidudoPage;

class ReplyHandler {
public:
    ReplyHandler(const PageContext& context, TuningPage& tuning, ZidudoPage& zidudo,
                 DiagnosticsPage& diagnostics);

    // Handles one line received from the controller.
    void GetInstruction(const QString& line);

private:
    void take_keyword(Keyword keyword);
    void take_data_line(const QString& line);
    void settings_listing_follows();

    PageContext _context;
    TuningPage& _tuning;
    ZidudoPage& _zidudo;
    DiagnosticsPage& _diagnostics;
};

} // namespace DADOV
