#pragma once

#include "report/batch.h"

#include <QString>

namespace report {

// Every text the report shows, in one language. Units stay as SI signs in both.
struct Captions {
    QString language; // the html lang attribute
    QString title;
    QString cellsFrom;
    QString summary;
    QString counts;
    QString all;
    QString pass;
    QString fail;
    QString quantity;
    QString minimum;
    QString maximum;
    QString mean;
    QString median;
    QString standardDeviation;
    QString resistance;
    QString voltage;
    QString capacity;
    QString selfDischarge;
    QString rules;
    QString noRules;
    QString maxResistance;
    QString maxSelfDischarge;
    QString minCapacity;
    QString minDays;
    QString failingCells;
    QString cell;
    QString reasons;
    QString andMore; // %1: how many more
    QString resistanceChart;
    QString voltageChart;
    QString scatterChart;
    QString dischargeChart;
    QString noDischarge;
    QString resistanceAxis;
    QString voltageAxis;
    QString cellsAxis;
    QString dischargeRankAxis;
    QString dischargeAxis;
    QString packChart; // %1 name, %2 series, %3 parallel
    QString packGroups; // %1 first group, %2 last group
    QString group;
    QString capacitySum;
    QString parallelResistance;
    QString spreads;
    QString capacitySumSpread;
    QString parallelResistanceSpread;
    QString voltageSpread;
    QString ofMean; // %1: percent
    QString unknown;
    QString binTitle; // %1 from, %2 to, %3 unit, %4 count
    QString belowChart; // cells far below the bars: %1 count, %2 the lowest value, %3 unit
    QString aboveChart; // cells far above the bars: %1 count, %2 the highest value, %3 unit
    // A self-discharge not known yet: %1 the rest reached ("6 d 21 h"), %2 the days it needs;
    // or no rest began at all.
    QString restTooShort;
    QString noRestStart;
    QString minVoltage;
    QString maxVoltage;
    QString retired; // the count of retired cells
    QString retiredCells; // the heading of their list
    QString retiredWhy; // its column of reasons

    // A failing rule's short name in this language.
    QString ruleName(analysis::Rule rule) const;
    // "resistance 69.8 mΩ > 60 mΩ", "容量 未知": the rule's name, the cell's value and the
    // limit in signs that need no translation, or why the value is not known yet.
    QString failureText(const analysis::Failure &f, const analysis::Rules &rules) const;
};

const Captions &captions(Language language);

} // namespace report
