#include "report/captions.h"

#include "report/units.h"

namespace report {

namespace {

const Captions kEnglish{
    "en",
    "Battery cell report",
    "Cells from",
    "Summary",
    "Counts",
    "all",
    "pass",
    "fail",
    "quantity",
    "minimum",
    "maximum",
    "mean",
    "median",
    "std. deviation",
    "resistance",
    "voltage",
    "capacity",
    "self-discharge",
    "Rules",
    "none: every cell passes",
    "maximum resistance",
    "maximum self-discharge",
    "minimum capacity",
    "rest before a self-discharge counts",
    "Failing cells",
    "cell",
    "reasons",
    "and %1 more",
    "Internal resistance",
    "Voltage",
    "Resistance against voltage",
    "Self-discharge at rest, sorted",
    "No cell has a rest period long enough to show a self-discharge.",
    "resistance (m\u03A9)",
    "voltage (V)",
    "cells",
    "cells, lowest self-discharge first",
    "self-discharge (mV/day)",
    "Pack %1: %2S%3P",
    "Groups %1 to %2",
    "group",
    "capacity sum",
    "parallel resistance",
    "Spreads of the pack",
    "capacity sum (highest less lowest group)",
    "parallel resistance (highest less lowest group)",
    "voltage (highest less lowest cell)",
    "%1 % of the mean",
    "unknown",
    "%1 to %2 %3: %4 cells",
    "%1 more far below, down to %2 %3",
    "%1 more far above, up to %2 %3",
    "unknown (rested %1 of %2 d)",
    "unknown (no rest start)",
    "minimum voltage",
    "maximum voltage",
    "retired",
    "Retired cells",
    "why retired",
};

const Captions kChinese{
    "zh",
    "电芯报告",
    "电芯来源",
    "概要",
    "数量",
    "全部",
    "合格",
    "不合格",
    "项目",
    "最小值",
    "最大值",
    "平均值",
    "中位数",
    "标准差",
    "内阻",
    "电压",
    "容量",
    "自放电",
    "规则",
    "无：全部合格",
    "最大内阻",
    "最大自放电",
    "最小容量",
    "计算自放电所需静置天数",
    "不合格电芯",
    "电芯",
    "原因",
    "另有 %1 个",
    "内阻分布",
    "电压分布",
    "内阻与电压",
    "静置自放电（排序）",
    "没有电芯的静置时间足以计算自放电。",
    "内阻 (m\u03A9)",
    "电压 (V)",
    "电芯数",
    "电芯（自放电由低到高）",
    "自放电 (mV/天)",
    "电池组 %1：%2S%3P",
    "第 %1 至 %2 组",
    "组",
    "容量之和",
    "并联内阻",
    "电池组的差值",
    "容量之和（最高组减最低组）",
    "并联内阻（最高组减最低组）",
    "电压（最高电芯减最低电芯）",
    "为平均值的 %1 %",
    "未知",
    "%1 至 %2 %3：%4 个电芯",
    "另有 %1 个远低于此，最低 %2 %3",
    "另有 %1 个远高于此，最高 %2 %3",
    "未知（已静置 %1，需 %2 d）",
    "未知（没有静置起点）",
    "最低电压",
    "最高电压",
    "已退役",
    "已退役电芯",
    "退役原因",
};

} // namespace

QString Captions::ruleName(analysis::Rule rule) const
{
    switch (rule) {
    case analysis::Rule::Resistance: return resistance;
    case analysis::Rule::SelfDischarge: return selfDischarge;
    case analysis::Rule::MinVoltage:
    case analysis::Rule::MaxVoltage: return voltage;
    case analysis::Rule::Capacity: break;
    }
    return capacity;
}

QString Captions::failureText(const analysis::Failure &f, const analysis::Rules &rules) const
{
    QString detail;
    switch (f.rule) {
    case analysis::Rule::Resistance:
        detail = milliohmText(std::get<std::int64_t>(*f.value)) + QStringLiteral(" > ")
            + milliohmText(std::get<std::int64_t>(f.limit));
        break;
    case analysis::Rule::SelfDischarge:
        detail = f.known() ? QStringLiteral("%1 > %2 mV/day")
                                 .arg(roundedNumber(std::get<double>(*f.value), 2),
                                      roundedNumber(std::get<double>(f.limit), 2))
            : f.restedDays
            ? restTooShort.arg(QString::fromStdString(analysis::restLengthText(*f.restedDays)),
                               roundedNumber(rules.minDays, 3))
            : noRestStart;
        break;
    case analysis::Rule::Capacity:
        detail = f.known() ? milliampHourText(std::get<std::int64_t>(*f.value))
                + QStringLiteral(" < ") + milliampHourText(std::get<std::int64_t>(f.limit))
                           : unknown;
        break;
    case analysis::Rule::MinVoltage:
    case analysis::Rule::MaxVoltage:
        detail = voltText(std::get<std::int64_t>(*f.value))
            + (f.rule == analysis::Rule::MinVoltage ? QStringLiteral(" < ") : QStringLiteral(" > "))
            + voltText(std::get<std::int64_t>(f.limit));
        break;
    }
    return ruleName(f.rule) + u' ' + detail;
}

const Captions &captions(Language language)
{
    return language == Language::Chinese ? kChinese : kEnglish;
}

} // namespace report
