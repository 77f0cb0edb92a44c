#include "cli/arguments.h"

namespace cli {

namespace {

constexpr char kExitCodes[] = R"(
Exit codes:
  0    done
  1    a file cannot be read or written
  2    bad arguments
  3    a line is not a reading (--strict), or the files hold no reading
  4    the analyzer holds no readings (download)
  5    the port cannot be opened or written, its device went away, the analyzer did not
       answer, or a received block could not be read; what arrived is still written
  6    too few cells lie within the voltage window (match)
  7    clearing the memory was not confirmed (clear-memory)
  130  interrupted by Ctrl+C; what had arrived is still written
)";

constexpr char kTool[] = R"(Usage: battery-analyzer-cli SUBCOMMAND [OPTIONS]

The battery analyzer from the command line: download its readings, clear its memory, and
turn saved reading files into tables, statistics and matched packs.

Subcommands:
  download      download the analyzer's stored readings
  clear-memory  erase the readings stored in the analyzer
  convert       turn reading files into CSV or JSON
  stats         summarise the readings of files
  match         group cells of reading files into a pack of matched parallel groups

'battery-analyzer-cli SUBCOMMAND --help' describes each. Tables and results go to standard
output, messages to standard error.
)";

constexpr char kDownload[] = R"(Usage: battery-analyzer-cli download --com N [--model RM-40A|RM-40B|RM-40C]
                                     [--format text|csv|json] [--output FILE] [--idle S]

Opens COM N as the program's window does (the port folder
~/.config/battery-analyzer/ports/comN, otherwise /dev/ttyS<N-1>; 2400 baud, 8N1), sends
Connect and Download, collects readings until S seconds pass with nothing received, then
sends Disconnect and closes the port. On a terminal, standard error shows a running count.
Ctrl+C ends the download the same way; what arrived is still written.

Options:
  --com N         the COM port number, 1 to 255
  --model M       the analyzer model, which sets the resistance scale (default RM-40A)
  --format F      text: the bytes the window's Save writes (GBK, CR LF; default)
                  csv:  group,resistance_ohm,voltage_v,resistance_text,voltage_text
                  json: an array of objects with the same fields
  --output FILE   write to FILE (replaced only once complete) instead of standard output
  --idle S        seconds of silence that end the download (default 2)
)";

constexpr char kClearMemory[] = R"(Usage: battery-analyzer-cli clear-memory --com N [--yes]

Erases the readings stored in the analyzer on COM N: sends Connect, Clear Memory and
Disconnect. This cannot be undone, so without --yes it asks on the terminal first and
refuses when there is no terminal to ask.

Options:
  --com N   the COM port number, 1 to 255
  --yes     erase without asking
)";

constexpr char kConvert[] = R"(Usage: battery-analyzer-cli convert FILE... [--format csv|json|text] [--output FILE]
                                   [--strict]

Reads files as the window opens them (GBK text, any line breaks, up to a zero byte) and
turns every reading line into a row with its resistance in ohms and voltage in volts, exact
as shown (056.7mΩ gives 0.0567). A line that is not a reading is reported on standard error
as FILE:LINE: not a reading: ... and skipped; empty lines are skipped silently.

Options:
  --format F      csv:  file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text
                        (default)
                  json: an array of objects with the same fields
                  text: the reading lines as the window saves them (GBK, CR LF)
  --output FILE   write to FILE (replaced only once complete) instead of standard output
  --strict        a line that is not a reading is an error
)";

constexpr char kStats[] = R"(Usage: battery-analyzer-cli stats FILE... [--strict]

Summarises the readings of the files: their count, and the minimum, maximum, mean, median
and standard deviation (of the whole batch) of resistance and of voltage, with a histogram
of the resistances. Files are read as by convert.

Options:
  --strict   a line that is not a reading is an error
)";

constexpr char kMatch[] = R"(Usage: battery-analyzer-cli match FILE... --series S --parallel P
                                 [--max-voltage-spread V] [--format text|json] [--strict]

Picks S x P cells from the readings of the files and arranges them into S parallel groups of
P cells whose resistances (1 / sum of 1/R of the group's cells) are as equal as it can make
them, using only cells whose voltages lie within V of each other. From more cells than
needed it takes those that match best. It prints each group with its cells (file, line and
group number of each reading), the group's resistance and voltage range, the spread
(highest less lowest group resistance, also as % of the mean) and the cells left out.
Cells with a resistance of zero are always left out.

Options:
  --series S                parallel groups in series, 1 to 100000
  --parallel P              cells in each group, 1 to 100000
  --max-voltage-spread V    volts (default 0.05)
  --format F                text (default) or json: the same result as one JSON document
  --strict                  a line that is not a reading is an error
)";

} // namespace

QString helpText(Subcommand s)
{
    const char *text = kTool;
    switch (s) {
    case Subcommand::Download: text = kDownload; break;
    case Subcommand::ClearMemory: text = kClearMemory; break;
    case Subcommand::Convert: text = kConvert; break;
    case Subcommand::Stats: text = kStats; break;
    case Subcommand::Match: text = kMatch; break;
    case Subcommand::None: break;
    }
    return QString::fromUtf8(text) + QString::fromLatin1(kExitCodes);
}

} // namespace cli
