#pragma once

// A reference model of the cell register, in plain C++: what every reader of the register
// must show after any sequence of the commands a bench types. It knows the truth by keeping
// it the simplest way (cells in a map by their label's case-folded key, runs in a list) and
// holds nothing of the register's code. Where the tool chooses (the cells of a matched pack,
// the spare of a swap) the model checks the choice against the rules and adopts it.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace regmodel {

// One command as a user types it.
struct Step {
    enum class Kind {
        Record,
        Undo,
        Retire,
        Restore,
        Relabel,
        Capacity,
        Match,
        Replace,
        DeletePack
    };
    Kind kind = Kind::Record;
    // Record: the cells in order; Capacity: the cells given a capacity; Retire, Restore,
    // Replace: one cell; Relabel: from, to.
    QStringList labels;
    // Record: --at as typed, local time unless it says otherwise.
    QString at;
    bool restStart = false;
    // Record: the voltage of every reading; the resistance follows the cell's place.
    int millivolts = 4150;
    // Undo: the run's number, or 0 for the latest run recorded.
    qint64 run = 0;
    QString pack;

    // The command line, for a failing sequence's report.
    QString describe() const;
};

// The resistance of the reading at place i of a record step, in micro-ohms: places 0 to 2
// are good cells, place 3 fails the model's resistance rule.
qint64 microohmsAt(int place);
// The capacity a Capacity step gives the cell at place i, in mAh.
int milliampHoursAt(int place);

// The rules every reader is asked to judge by.
struct Rules {
    qint64 maxMicroohms = 50'000;
    qint64 minMicrovolts = 3'000'000;
    bool withVoltage = true;
};

struct Measurement {
    qint64 run = 0;
    QDateTime at;
    qint64 microohms = 0;
    qint64 microvolts = 0;
    bool restStart = false;
};

struct Cell {
    QString label;
    std::vector<Measurement> measurements; // in the order stored
    std::optional<int> milliampHours;
    std::optional<QString> retired; // the reason
    QString pack;
    int group = 0; // from 1, the − end
    int position = 0;
    bool swapped = false; // ever swapped into or out of a pack
};

struct Run {
    qint64 number = 0;
    int readings = 0;
    bool undone = false;
};

// What the readers of the register showed, gathered by the caller from the tool.
struct Observed {
    struct CellRow {
        QString label;
        int measurements = 0;
        qint64 microohms = 0;
        qint64 microvolts = 0;
        std::optional<int> milliampHours;
        QString pack;
        QString status; // pass, fail or retired
    };
    std::vector<CellRow> cells; // as listed
    std::vector<std::pair<qint64, int>> runs; // number, readings, of runs not undone
    std::map<QString, int> exported; // rows of each label
    std::map<QString, std::vector<QStringList>> packs; // groups of labels, − end first
    std::map<QString, QString> retiredReasons; // of each cell `cell` calls retired
    // The pictures, where they were drawn: the report's counts of cells that pass and fail,
    // and the cells a sheet of pass labels is printed for, in its order.
    std::optional<std::pair<int, int>> reportCounts;
    std::optional<QStringList> passLabels;
    // The lab view's cells table, where it was read: each row as `cells` shows it.
    std::optional<std::vector<CellRow>> labCells;
};

class Model {
public:
    explicit Model(QDateTime now, Rules rules = {}) : now_(std::move(now)), rules_(rules) { }

    // Applies a step whose outcome is the model's to know; returns the exit code the tool
    // must give. Match and Replace go through adopt().
    int apply(const Step &step);
    // A step where the tool chooses: its exit code and what it chose (a Match's groups of
    // labels, a Replace's spare as the one label of the one group). Returns what is wrong
    // with that choice, or nothing.
    QString adopt(const Step &step, int exitCode, const std::vector<QStringList> &chosen);

    // Every difference between what the readers showed and the truth.
    QStringList differences(const Observed &seen) const;

    const std::map<QString, Cell> &cells() const { return cells_; }
    const std::vector<Run> &runs() const { return runs_; }
    QStringList packNames() const;
    const Rules &rules() const { return rules_; }

    // The verdict of a cell in stock: pass or fail; "retired" for a retired one.
    QString status(const Cell &c) const;
    // The instant a --at text names, or nothing when the tool must refuse it.
    std::optional<QDateTime> instantOf(const QString &at) const;

private:
    static QString key(const QString &label) { return label.toCaseFolded(); }
    Cell *find(const QString &label);
    const Measurement *latest(const Cell &c) const;
    bool offerable(const Cell &c) const;

    QDateTime now_;
    Rules rules_;
    std::map<QString, Cell> cells_; // by key
    std::vector<Run> runs_;
    qint64 lastRun_ = 0;
    struct Pack {
        int series = 0;
        int parallel = 0;
    };
    std::map<QString, Pack> packs_;
};

// The steps a bench types, each with its arguments fixed: the alphabet of the sequences the
// suite tries exhaustively and the fuzzer at random.
std::vector<Step> alphabet();
// The steps every sequence starts from: two runs a week apart and capacities.
std::vector<Step> groundwork();

// A sequence's steps from indices into the alphabet.
std::vector<Step> sequence(const std::vector<int> &indices);

} // namespace regmodel
