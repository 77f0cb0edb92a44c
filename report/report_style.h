#pragma once

// The report's style sheet. Colours come from a palette that colour-blind readers tell
// apart (blue, vermillion, sky blue), and pass and fail also differ in shape and line, so a
// greyscale print keeps them apart. Charts never break across a printed page.
namespace report {

// The page around the charts: a printed A4 report.
inline constexpr char kReportStyle[] = R"css(
@page { size: A4; margin: 14mm; }
body { font-family: "Liberation Sans", "WenQuanYi Micro Hei", sans-serif; color: #111;
       max-width: 182mm; margin: 0 auto; padding: 8px; font-size: 13px; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 16px; margin: 18px 0 6px; break-after: avoid; page-break-after: avoid; }
p.source { color: #444; margin: 0 0 12px; }
table { border-collapse: collapse; margin: 4px 0 10px; }
th, td { border: 1px solid #999; padding: 2px 8px; text-align: right; }
th:first-child, td:first-child, td.text { text-align: left; }
@media print { body { padding: 0; } }
)css";

// The charts with their figures, and captions kept for screen readers, wherever they are shown.
inline constexpr char kChartStyle[] = R"css(
figure { margin: 14px 0; break-inside: avoid; page-break-inside: avoid; }
figcaption { font-weight: bold; margin-bottom: 4px; }
svg.chart { display: block; width: 100%; height: auto; max-height: 225mm; }
svg.chart.pack { width: auto; max-width: 100%; }
svg text { font-size: 12px; fill: #111; }
svg .tick { font-size: 11px; }
svg .title { font-weight: bold; }
.grid { stroke: #ddd; }
.frame { fill: none; stroke: #333; }
.bar { fill: #56B4E9; stroke: #1f3f5f; stroke-width: 1; }
.limit line { stroke: #000; stroke-width: 1.5; stroke-dasharray: 6 4; }
.limit text { font-weight: bold; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
circle.pass { fill: #0072B2; }
path.fail { stroke: #D55E00; stroke-width: 2; fill: none; }
.cell rect { fill: #fff; stroke: #0072B2; stroke-width: 1.5; }
.cell.fail rect { fill: #fbe3d6; stroke: #D55E00; stroke-width: 2.5; stroke-dasharray: 5 3; }
.cell-label, .group-name { font-weight: bold; }
caption.unseen { position: absolute; width: 1px; height: 1px; overflow: hidden;
                 clip-path: inset(50%); white-space: nowrap; }
)css";

} // namespace report
