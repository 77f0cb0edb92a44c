#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <vector>

// Capacities as chargers and spreadsheets write them, read from a CSV text. Pure: the
// caller reads the file and words the problems.
namespace cellregister {

enum class RepeatedLabel {
    Refuse, // a label named twice is a problem of the file
    LastWins, // a later line replaces an earlier one of the same label
};

struct CapacityFileOptions {
    QString labelColumn; // empty: the first of kLabelColumns the header has
    QString capacityColumn; // empty: the first of kCapacityColumns the header has
    RepeatedLabel repeated = RepeatedLabel::Refuse;
};

// The column names looked for when the user names none, compared without case, spaces,
// underscores or a unit in brackets: "Cell ID", "cell_id" and "Capacity (mAh)" are found.
inline const QStringList kLabelColumns = {"id",        "label",   "cell",   "cellid",
                                          "celllabel", "barcode", "serial", "name"};
inline const QStringList kCapacityColumns = {
    "capacitymah", "capacity", "capacityah", "dischargecapacity", "dischargemah", "dchgcap",
    "cap",         "mah",      "ah"};

struct CapacityRow {
    QString label;
    std::int64_t microampHours = 0;
    int line = 0;
};

struct CapacityProblem {
    enum Kind {
        NoHeader, // the text has no header row
        NoLabelColumn, // value: the column asked for, or empty for the usual names
        NoCapacityColumn,
        NoLabel, // a capacity without a label
        NotACapacity, // value: the field as written
        Ambiguous, // value: a number whose one mark may group thousands or start decimals
        Repeated, // value: the label; firstLine: where it was named first
        TooManyFields, // value: the line, which has more fields than the header names
    };
    Kind kind;
    int line = 0;
    QString value;
    int firstLine = 0;

    bool operator==(const CapacityProblem &) const = default;
};

struct CapacityFile {
    std::vector<CapacityRow> rows; // in the order of the file, one per label
    std::vector<CapacityProblem> problems; // every problem of the file, by line
    int blankValues = 0; // labelled lines without a capacity, skipped
    // The summary lines a charger writes after its cells ("Average", "Total", "Sum"), skipped:
    // their numbers and the word that names each.
    std::vector<std::pair<int, QString>> summaryLines;
    QString labelColumn, capacityColumn; // as the header names them
};

// The separator is the header's: a semicolon, else a tab, else a comma; a field in quotes
// keeps separators. A value may carry its unit (mAh, Ah) or take the header's, else mAh;
// thousands marks are read where they cannot be decimals ("1.522,4", "1,522.4", "1 522"), and
// where the file's other values show which mark starts decimals ("1.522" beside "2.480,5").
// Lines after the last cell that name a summary ("Average", "Total" ...) are skipped.
CapacityFile readCapacityFile(QStringView text, const CapacityFileOptions &options);

} // namespace cellregister
