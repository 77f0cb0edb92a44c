#pragma once

#include "analysis/verdict.h"
#include "labview/request_scan.h"
#include "report/batch.h"

#include <QString>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// What a request asks for, read from its method and target alone: pure, so that whatever
// bytes arrive are either one of these or refused before anything is looked up. Paths name
// entries of a fixed table; none reaches the file system.
namespace labview {

enum class Page {
    Cells, // the cells table
    Cell, // one cell: ?label=
    Packs,
    Style,
    Script,
    Icon,
    CellsData,
    CellData,
    PacksData,
    SummaryData, // the report's counts and histograms under the query's rules
    ProposalData, // a spare for a failed cell: ?pack=&label=
    ReportFile, // the batch report of every cell, or of ?pack=
    LabelsFile, // the labels PDF of every cell, or of ?pack=
    Events, // server-sent events: the register changed
    Retire, // POST
    Restore, // POST
    Replace, // POST: a failed cell of a pack by the spare proposed
    NotFound,
    WrongMethod,
    BadQuery, // a query that is too long, not UTF-8, or has too many parameters
};

// Decoded query parameters in their order; a key given twice keeps its first value.
using Params = std::vector<std::pair<QString, QString>>;

struct Target {
    Page page = Page::NotFound;
    Params params;
};

inline constexpr int kMaxParams = 24;
// A parameter may be as long as a request line is (a label of the register has no bound of its
// own): the connections refuse a longer line before it is routed.
inline constexpr int kMaxParamBytes = int(RequestLimits{}.line);

Target route(std::string_view method, std::string_view target);

// A value of params, null when absent.
QString param(const Params &params, const QString &key);

enum class Column {
    Label,
    Resistance,
    Voltage,
    Capacity,
    SelfDischarge,
    Measurements,
    Latest,
    Pack
};
enum class Status { Any, InStock, InPack, Retired };
enum class Verdict { Any, Pass, Fail };

// One page of the cells table as the user asked for it. The rules are the table's inputs:
// limits in the units people type (mΩ, mV/day, mAh), held exactly in the register's.
struct CellQuery {
    Column sort = Column::Label;
    bool descending = false;
    Verdict verdict = Verdict::Any;
    Status status = Status::Any;
    QString pack; // exactly this pack
    QString label; // labels holding this, in any case
    int page = 0; // from 0
    int pageSize = 100;
    analysis::Rules rules;
};

inline constexpr int kMaxPageSize = 500;

// A parameter the user gave that cannot be read: its name and value, worded by the caller.
struct BadParam {
    QString name;
    QString value;
    bool operator==(const BadParam &) const = default;
};

std::variant<CellQuery, BadParam> parseCellQuery(const Params &params);

// ?lang= first, then the browser's Accept-Language: Chinese when it leads with zh.
report::Language language(const Params &params, std::string_view acceptLanguage);

} // namespace labview
