#include "cli/picture_options.h"

namespace cli {

namespace {

constexpr char kFileOptions[] = R"(
Cells from reading files:
  --cells A001..A020  name the readings in order; the range must name as many cells as
                      there are readings (one prefix, numbers of one width)
  --first-cell A001   name the readings in order from this label on
  --max-resistance R  cells above R ohms fail
  --series S --parallel P [--max-voltage-spread V]
                      match a pack of S groups of P cells from the passing cells, as
                      'match' does (voltages within V volts, default 0.05)
  --strict            a line that is no reading is an error rather than a warning
)";

constexpr char kRegisterOptions[] = R"(
Cells from the cell register (with --db, or when no FILE is given):
  --db DB             the register: a SQLite file or a postgresql:// address (default:
                      BATTERY_ANALYZER_DB, else the file 'record --help' names)
  --lock-wait S       how long to wait for another program writing it (10)
  --cells A001..A020  only these cells
  --pack NAME         a saved pack: its layout in the report, its cells as labels
  --max-resistance R  cells whose latest resistance is above R ohms fail
  --max-self-discharge MV_PER_DAY
                      cells losing more since their latest rest began fail (and cells
                      whose rest is not yet --min-days long)
  --min-capacity MAH  cells of less capacity fail (and cells of none known)
  --min-days D        self-discharge is shown after D days at rest (7)
)";

constexpr char kExitCodes[] = R"(
Exit codes:
  0    done
  1    a file cannot be read or written
  2    bad arguments, or a label that does not fit its label size
  3    a line is not a reading (--strict), or the files hold no reading
  6    too few cells lie within the voltage window of the pack
  8    the register cannot be opened or read, or is not there
  10   the register holds no such cell or pack
)";

constexpr char kReport[] =
    R"(Usage: battery-analyzer-cli report FILE... [--output FILE] [--language en|zh] [--open]
                                   [--cells A001..A020 | --first-cell A001]
                                   [--max-resistance R] [--series S --parallel P]
       battery-analyzer-cli report [--db DB] [RULES] [--cells A001..A020 | --pack NAME]
                                   [--output FILE] [--language en|zh] [--open]

Writes one HTML page about a batch of cells: counts, statistics and the rules, histograms
of resistance and voltage, resistance against voltage with passing and failing cells
told apart, self-discharge where known, and a matched pack's layout with its groups'
capacity sums, parallel resistances and spreads. The page holds everything itself: no
network, no other file, no script; it prints on A4 with no chart cut across pages.
Without names, cells are named by their place in the files (#1, #2, ...).

Options:
  --output FILE   write to FILE (replaced only once complete) instead of standard output
  --language L    captions in English (en, default) or Chinese (zh)
  --open          show the written page in the desktop's browser; without a display,
                  say where it is
)";

constexpr char kLabels[] =
    R"(Usage: battery-analyzer-cli labels FILE... --output FILE (--cells A001..A020 | --first-cell A001)
                                   [--size WxHmm] [--only pass|fail]
                                   [--max-resistance R] [--series S --parallel P]
       battery-analyzer-cli labels [--db DB] (--cells A001..A020 | --pack NAME | --only pass|fail)
                                   --output FILE [--size WxHmm] [RULES]

Writes a PDF with one label a page for label printers: a QR code of the cell's name and,
beside it, the name, the latest resistance and voltage, the capacity when known, the
verdict and, for a matched pack, the pack, group and place in the group. Text that is too
wide for the label is drawn smaller; text that does not fit even at 5 pt is refused and
no file is written. With a pack, only the pack's cells are labelled, group by group.

Options:
  --output FILE   the PDF to write (replaced only once complete)
  --size WxHmm    the label's size, each side from 20 to 150 mm (default 62x29mm)
  --only V        label only the cells that pass, or only those that fail
)";

} // namespace

QString pictureHelpText(PictureKind kind)
{
    return QString::fromUtf8(kind == PictureKind::Report ? kReport : kLabels)
        + QString::fromUtf8(kFileOptions) + QString::fromUtf8(kRegisterOptions)
        + QString::fromUtf8(kExitCodes);
}

} // namespace cli
