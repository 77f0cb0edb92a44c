#include "labview/pages.h"

#include "report/captions.h"
#include "report/report_style.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace labview {

namespace {

// The lab view's own words; the report's captions supply the rest.
const char kEnglish[] = R"json(
{"cells": "Cells", "packs": "Packs", "skip": "Skip to the content", "siteNav": "Lab view", "otherLanguage": "中文", "filters": "Filter and rules", "labelContains": "Label contains", "verdict": "Verdict", "status": "Status", "any": "any", "stock": "in stock", "inPack": "in a pack", "retired": "retired", "pack": "Pack", "apply": "Apply", "matching": "%1 of %2 cells match; %3 pass, %4 fail under these rules.", "measurementsCol": "readings", "latestCol": "latest", "previous": "Previous page", "next": "Next page", "pageOf": "Page %1 of %2", "pages": "Pages", "sortBy": "Sort by %1", "live": "Updated %1", "liveLost": "Live updates paused; retrying", "history": "Voltage and resistance over time; rests marked", "readings": "Readings", "time": "time", "rest": "rest begins", "yes": "yes", "capacities": "Capacities", "source": "source", "swaps": "Pack changes", "removedCell": "taken out", "addedCell": "put in", "noSuchCell": "The register has no cell of this label.", "actions": "Actions", "reason": "Reason", "retire": "Retire", "restore": "Restore", "done": "Done.", "refused": "Refused: %1", "groupMinus": "group %1 (− end)", "groupPlus": "group %1 (+ end)", "groupN": "group %1", "totals": "%1 V nominal, %2 measured, %3, %4 Wh, %5 mΩ", "noPacks": "The register holds no pack.", "layout": "Layout of pack %1", "position": "position %1", "error": "The register cannot be read: %1", "passes": "passes", "fails": "fails", "propose": "Propose a spare for %1", "proposal": "Replace %1 (group %2, position %3) by %4: resistance spread %5 before, %6 after.", "replaceBy": "Replace %1 by %2", "keepRemoved": "Put %1 back in stock rather than retire it", "downloads": "Downloads", "reportFile": "Batch report (HTML)", "labelsFile": "Labels (PDF)", "reportOf": "Batch report of pack %1 (HTML)", "labelsOf": "Labels of pack %1 (PDF)", "summaryOf": "Report summary"})json";
const char kChinese[] = R"json(
{"cells": "电芯", "packs": "电池组", "skip": "跳到内容", "siteNav": "实验室视图", "otherLanguage": "English", "filters": "筛选与规则", "labelContains": "标签包含", "verdict": "判定", "status": "状态", "any": "全部", "stock": "库存", "inPack": "在电池组中", "retired": "已退役", "pack": "电池组", "apply": "应用", "matching": "%2 个电芯中 %1 个符合；按这些规则 %3 个合格，%4 个不合格。", "measurementsCol": "读数", "latestCol": "最近", "previous": "上一页", "next": "下一页", "pageOf": "第 %1 页，共 %2 页", "pages": "分页", "sortBy": "按%1排序", "live": "已更新 %1", "liveLost": "实时更新暂停，正在重试", "history": "电压与内阻随时间变化，标出静置起点", "readings": "读数", "time": "时间", "rest": "静置开始", "yes": "是", "capacities": "容量", "source": "来源", "swaps": "电池组更换", "removedCell": "取出", "addedCell": "放入", "noSuchCell": "登记册中没有此标签的电芯。", "actions": "操作", "reason": "原因", "retire": "退役", "restore": "恢复", "done": "完成。", "refused": "被拒绝：%1", "groupMinus": "第 %1 组（− 端）", "groupPlus": "第 %1 组（+ 端）", "groupN": "第 %1 组", "totals": "标称 %1 V，实测 %2，%3，%4 Wh，%5 mΩ", "noPacks": "登记册中没有电池组。", "layout": "电池组 %1 的排列", "position": "位置 %1", "error": "无法读取登记册：%1", "passes": "合格", "fails": "不合格", "propose": "为 %1 推荐备用电芯", "proposal": "用 %4 替换 %1（第 %2 组，位置 %3）：内阻差 替换前 %5，替换后 %6。", "replaceBy": "用 %2 替换 %1", "keepRemoved": "将 %1 放回库存而不退役", "downloads": "下载", "reportFile": "批次报告（HTML）", "labelsFile": "标签（PDF）", "reportOf": "电池组 %1 的批次报告（HTML）", "labelsOf": "电池组 %1 的标签（PDF）", "summaryOf": "报告摘要"})json";

QJsonObject texts(report::Language language)
{
    QJsonObject t =
        QJsonDocument::fromJson(language == report::Language::Chinese ? kChinese : kEnglish)
            .object();
    const report::Captions &c = report::captions(language);
    const std::pair<const char *, const QString *> shared[] = {
        {"cell", &c.cell},
        {"resistance", &c.resistance},
        {"voltage", &c.voltage},
        {"capacity", &c.capacity},
        {"selfDischarge", &c.selfDischarge},
        {"reasons", &c.reasons},
        {"pass", &c.pass},
        {"fail", &c.fail},
        {"all", &c.all},
        {"rules", &c.rules},
        {"maxResistance", &c.maxResistance},
        {"maxSelfDischarge", &c.maxSelfDischarge},
        {"minCapacity", &c.minCapacity},
        {"minDays", &c.minDays},
        {"minVoltage", &c.minVoltage},
        {"maxVoltage", &c.maxVoltage},
        {"counts", &c.counts},
        {"unknown", &c.unknown},
        {"group", &c.group},
    };
    for (const auto &[key, text] : shared)
        t.insert(QLatin1String(key), *text);
    return t;
}

QString e(const QString &text)
{
    return text.toHtmlEscaped();
}

QString field(const QString &name, const QString &label, const QString &control)
{
    return QStringLiteral("<label for=\"f-%1\">%2</label>%3").arg(name, e(label), control);
}

QString input(const QString &name, const QString &label, const QString &extra = QString())
{
    return field(name, label,
                 QStringLiteral("<input id=\"f-%1\" name=\"%1\" %2>").arg(name, extra));
}

QString select(const QString &name, const QString &label,
               const std::vector<std::pair<QString, QString>> &options)
{
    QString html = QStringLiteral("<select id=\"f-%1\" name=\"%1\">").arg(name);
    for (const auto &[value, text] : options)
        html += QStringLiteral("<option value=\"%1\">%2</option>").arg(value, e(text));
    return field(name, label, html + QStringLiteral("</select>"));
}

QString cellsMain(const QJsonObject &t)
{
    const auto s = [&](const char *key) { return t.value(QLatin1String(key)).toString(); };
    const QString number = QStringLiteral("inputmode=\"decimal\" autocomplete=\"off\" size=\"6\"");
    QString html = QStringLiteral("<h1>%1</h1>").arg(e(s("cells")));
    html +=
        QStringLiteral("<form id=\"filters\" role=\"search\" aria-label=\"%1\"><div class=\"row\">")
            .arg(e(s("filters")));
    html += input("label", s("labelContains"), "autocomplete=\"off\"");
    html +=
        select("verdict", s("verdict"), {{"", s("all")}, {"pass", s("pass")}, {"fail", s("fail")}});
    html += select(
        "status", s("status"),
        {{"", s("any")}, {"stock", s("stock")}, {"pack", s("inPack")}, {"retired", s("retired")}});
    html += input("pack", s("pack"), "autocomplete=\"off\"");
    html += QStringLiteral("</div><fieldset><legend>%1</legend>").arg(e(s("rules")));
    html += input("mohm", s("maxResistance") + QStringLiteral(" (m\u03A9)"), number);
    html += input("sd", s("maxSelfDischarge") + QStringLiteral(" (mV/d)"), number);
    html += input("mah", s("minCapacity") + QStringLiteral(" (mAh)"), number);
    html += input("days", s("minDays") + QStringLiteral(" (d)"), number);
    html += input("vmin", s("minVoltage") + QStringLiteral(" (V)"), number);
    html += input("vmax", s("maxVoltage") + QStringLiteral(" (V)"), number);
    html +=
        QStringLiteral("</fieldset><button type=\"submit\">%1</button></form>").arg(e(s("apply")));
    // The report's own opening, fetched under the rules in force.
    html += QStringLiteral("<p id=\"matching\"></p><div id=\"opening\" aria-label=\"%1\" "
                           "role=\"region\"></div><nav aria-label=\"%2\" class=\"downloads\">"
                           "<a id=\"report-file\" href=\"/download/report\" download>%3</a> "
                           "<a id=\"labels-file\" href=\"/download/labels\" download>%4</a></nav>")
                .arg(e(s("summaryOf")), e(s("downloads")), e(s("reportFile")), e(s("labelsFile")));
    html += QStringLiteral("<table id=\"cells\" aria-describedby=\"matching\"><caption>%1</caption>"
                           "<thead><tr>")
                .arg(e(s("cells")));
    const std::pair<const char *, const char *> columns[] = {
        {"label", "cell"},
        {"resistance", "resistance"},
        {"voltage", "voltage"},
        {"capacity", "capacity"},
        {"selfdischarge", "selfDischarge"},
        {"measurements", "measurementsCol"},
        {"latest", "latestCol"},
        {"pack", "pack"},
    };
    for (const auto &[sort, key] : columns)
        html += QStringLiteral("<th scope=\"col\" aria-sort=\"none\"><button type=\"button\" "
                               "data-sort=\"%1\">%2</button></th>")
                    .arg(QLatin1String(sort), e(s(key)));
    html += QStringLiteral("<th scope=\"col\">%1</th><th scope=\"col\">%2</th></tr></thead>"
                           "<tbody></tbody></table>")
                .arg(e(s("status")), e(s("verdict")));
    html += QStringLiteral("<nav aria-label=\"%1\" class=\"pager\"><button type=\"button\" "
                           "id=\"prev\">%2</button> <span id=\"pageinfo\"></span> <button "
                           "type=\"button\" id=\"next\">%3</button></nav>")
                .arg(e(s("pages")), e(s("previous")), e(s("next")));
    return html;
}

QString cellMain(const QJsonObject &t, bool actions)
{
    const auto s = [&](const char *key) { return t.value(QLatin1String(key)).toString(); };
    QString html = QStringLiteral("<h1 id=\"title\"></h1><p id=\"missing\" hidden>%1</p>"
                                  "<dl id=\"facts\"></dl>")
                       .arg(e(s("noSuchCell")));
    html += QStringLiteral("<figure><figcaption id=\"chart-caption\">%1</figcaption>"
                           "<svg id=\"chart\" class=\"history\" role=\"img\" "
                           "aria-labelledby=\"chart-caption\"></svg></figure>")
                .arg(e(s("history")));
    const auto table = [&](const char *id, const char *caption,
                           std::initializer_list<const char *> headers) {
        QString h = QStringLiteral("<table id=\"%1\"><caption>%2</caption><thead><tr>")
                        .arg(QLatin1String(id), e(s(caption)));
        for (const char *k : headers)
            h += QStringLiteral("<th scope=\"col\">%1</th>").arg(e(s(k)));
        return h + QStringLiteral("</tr></thead><tbody></tbody></table>");
    };
    html += table("readings", "readings", {"time", "voltage", "resistance", "rest", "source"});
    html += table("capacities", "capacities", {"time", "capacity", "source"});
    html += table("swaps", "swaps", {"time", "pack", "group", "removedCell", "addedCell"});
    if (actions)
        html += QStringLiteral("<section aria-labelledby=\"actions-h\"><h2 id=\"actions-h\">%1</h2>"
                               "<form id=\"retire\"><label for=\"f-reason\">%2</label> <input "
                               "id=\"f-reason\" name=\"reason\" autocomplete=\"off\"> <button "
                               "type=\"submit\">%3</button></form><form id=\"restore\"><button "
                               "type=\"submit\">%4</button></form><p id=\"action-result\" "
                               "role=\"status\"></p></section>")
                    .arg(e(s("actions")), e(s("reason")), e(s("retire")), e(s("restore")));
    return html;
}

} // namespace

QByteArray pageHtml(Page page, report::Language language, bool actionsAllowed)
{
    const QJsonObject t = texts(language);
    const auto s = [&](const char *key) { return t.value(QLatin1String(key)).toString(); };
    const bool zh = language == report::Language::Chinese;
    QString main;
    QString title;
    QString name;
    switch (page) {
    case Page::Cell:
        main = cellMain(t, actionsAllowed);
        title = s("cell");
        name = QStringLiteral("cell");
        break;
    case Page::Packs:
        main = QStringLiteral("<h1>%1</h1><div id=\"packs\"></div>").arg(e(s("packs")));
        title = s("packs");
        name = QStringLiteral("packs");
        break;
    default:
        main = cellsMain(t);
        title = s("cells");
        name = QStringLiteral("cells");
        break;
    }
    // The texts travel as data the script reads, never as code: "<" is escaped so that no
    // text can close the element.
    QByteArray json = QJsonDocument(t).toJson(QJsonDocument::Compact);
    json.replace("<", "\\u003c");
    const QString lang = zh ? QStringLiteral("zh") : QStringLiteral("en");
    const QString other = zh ? QStringLiteral("en") : QStringLiteral("zh");
    QString html =
        QStringLiteral(
            "<!DOCTYPE html><html lang=\"%1\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<title>%2 \u2014 %3</title><link rel=\"stylesheet\" href=\"/static/lab.css\">"
            "<link rel=\"icon\" href=\"/static/icon.svg\" type=\"image/svg+xml\">"
            "<script src=\"/static/lab.js\" defer></script></head>")
            .arg(lang, e(title), e(s("siteNav")));
    html += QStringLiteral("<body data-page=\"%1\" data-lang=\"%2\" data-actions=\"%3\">"
                           "<a class=\"skip\" href=\"#main\">%4</a><header><nav aria-label=\"%5\">"
                           "<a href=\"/?lang=%2\">%6</a> <a href=\"/packs?lang=%2\">%7</a> "
                           "<a id=\"other-language\" href=\"?lang=%8\" lang=\"%8\">%9</a></nav>")
                .arg(name, lang, actionsAllowed ? "1" : "0", e(s("skip")), e(s("siteNav")),
                     e(s("cells")), e(s("packs")), other, e(s("otherLanguage")));
    html += QStringLiteral("<p id=\"live\" role=\"status\" aria-live=\"polite\"></p></header>"
                           "<main id=\"main\" tabindex=\"-1\">%1</main>")
                .arg(main);
    QByteArray out = html.toUtf8();
    out += "<script type=\"application/json\" id=\"texts\">" + json + "</script></body></html>";
    return out;
}

QByteArray styleSheet()
{
    // Text and controls keep at least 7:1 against their background; pass and fail differ in
    // words and shape as well as colour.
    return QByteArrayLiteral(R"css(
body { font-family: "Liberation Sans", "WenQuanYi Micro Hei", sans-serif; color: #111;
       background: #fff; margin: 0 auto; max-width: 1200px; padding: 8px 16px; font-size: 14px; }
a { color: #0a3d91; }
a:focus, button:focus, input:focus, select:focus { outline: 3px solid #b34700; outline-offset: 1px; }
.skip { position: absolute; left: -9999px; }
.skip:focus { left: 8px; top: 8px; background: #fff; padding: 4px; }
header nav a { margin-right: 12px; }
#live { color: #333; min-height: 1.2em; margin: 4px 0; }
form .row, fieldset { display: flex; flex-wrap: wrap; gap: 6px 14px; align-items: center; }
fieldset { border: 1px solid #666; margin: 8px 0; }
label { font-weight: bold; }
button { font: inherit; color: #111; background: #e8e8e8; border: 1px solid #444; padding: 2px 8px; }
th button { border: none; background: none; font-weight: bold; padding: 0; text-decoration: underline; }
table { border-collapse: collapse; margin: 8px 0 14px; }
caption { text-align: left; font-weight: bold; padding: 4px 0; }
th, td { border: 1px solid #777; padding: 2px 8px; text-align: right; }
th:first-child, td:first-child, td.text { text-align: left; }
td.fail { color: #8a1c00; font-weight: bold; }
.pager { margin: 6px 0 16px; }
svg.history { width: 100%; max-width: 900px; height: auto; border: 1px solid #777; }
svg.counts { width: 320px; height: 40px; }
svg text { font-size: 11px; fill: #111; }
.v { fill: #0072B2; }
.r { fill: none; stroke: #b34700; stroke-width: 1.5; }
.rest { stroke: #111; stroke-dasharray: 4 3; }
.bar-pass { fill: #0072B2; }
.bar-fail { fill: #b34700; }
.axis { stroke: #333; }
.pack-layout td { text-align: center; min-width: 6em; }
.pack-layout td.fail { background: #fbe3d6; }
.downloads a { margin-right: 14px; }
.proposal { border-left: 4px solid #0a3d91; padding: 2px 8px; }
#opening svg.chart { max-width: 900px; }
)css") + QByteArray(report::kChartStyle);
}

QByteArray icon()
{
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\">"
        "<rect x=\"4\" y=\"2\" width=\"8\" height=\"13\" fill=\"#0072B2\"/>"
        "<rect x=\"6\" y=\"0\" width=\"4\" height=\"2\" fill=\"#111\"/></svg>");
}

QByteArray script()
{
    // Every value reaches the page through textContent or an attribute, never as markup.
    return QByteArrayLiteral(R"js('use strict';
(function () {
  const T = JSON.parse(document.getElementById('texts').textContent);
  const body = document.body;
  const lang = body.dataset.lang;
  const fmt = (s, ...a) => s.replace(/%(\d)/g, (m, i) => String(a[Number(i) - 1]));
  const el = (tag, attrs, text) => {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  };
  const svg = (tag, attrs) => {
    const e = document.createElementNS('http://www.w3.org/2000/svg', tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, String(v));
    return e;
  };
  const live = document.getElementById('live');
  async function getJson(url) {
    const r = await fetch(url, {credentials: 'same-origin', headers: {Accept: 'application/json'}});
    const data = await r.json().catch(() => ({}));
    if (!r.ok) { const e = new Error(data.error || String(r.status)); e.status = r.status; throw e; }
    return data;
  }
  function showError(e) { live.textContent = fmt(T.error, e.message); }
  function watch(reload) {
    const source = new EventSource('/events');
    source.addEventListener('change', () => {
      reload().then(() => { live.textContent = fmt(T.live, new Date().toLocaleTimeString()); }, showError);
    });
    // A refused stream (the server at its limit) is not retried by the browser itself.
    source.onerror = () => {
      live.textContent = T.liveLost;
      if (source.readyState === EventSource.CLOSED) setTimeout(() => watch(reload), 5000);
    };
  }
  function rulesQuery(params) {
    const out = new URLSearchParams();
    for (const k of ['mohm', 'sd', 'mah', 'days', 'vmin', 'vmax']) if (params.get(k)) out.set(k, params.get(k));
    return out;
  }
  // A retired cell is neither a pass nor a failure.
  const retired = (c) => c.status === 'retired';
  const verdictText = (c, reasons) => retired(c) ? T.retired : c.pass ? T.passes
    : reasons ? T.fails + ': ' + c.reasons.join('; ') : T.fails;
  const statusText = (c) => c.status === 'retired' ? T.retired + (c.retired ? ': ' + c.retired : '')
    : c.status === 'pack' ? T.inPack + ': ' + c.pack : T.stock;

  function cellsPage() {
    const form = document.getElementById('filters');
    const tbody = document.querySelector('#cells tbody');
    const params = new URLSearchParams(location.search);
    for (const k of ['label', 'verdict', 'status', 'pack', 'mohm', 'sd', 'mah', 'days', 'vmin', 'vmax'])
      if (params.get(k) && form.elements[k]) form.elements[k].value = params.get(k);
    let sort = params.get('sort') || 'label';
    let page = Number(params.get('page') || 0);
    let pages = 1;
    function query() {
      const q = new URLSearchParams();
      for (const k of ['label', 'verdict', 'status', 'pack', 'mohm', 'sd', 'mah', 'days', 'vmin', 'vmax'])
        if (form.elements[k].value) q.set(k, form.elements[k].value);
      q.set('sort', sort); q.set('page', page); q.set('lang', lang);
      return q;
    }
    let openingKey = null;
    async function loadOpening(q, force) {
      const rules = rulesQuery(q); rules.set('lang', lang);
      document.getElementById('report-file').href = '/download/report?' + rules.toString();
      document.getElementById('labels-file').href = '/download/labels?' + rules.toString();
      if (!force && openingKey === rules.toString()) return;
      openingKey = rules.toString();
      const r = await fetch('/api/summary?' + rules.toString(), {credentials: 'same-origin'});
      if (!r.ok) throw new Error(String(r.status));
      // The report layer's own markup, every value escaped there; scripts in it would not run.
      const doc = new DOMParser().parseFromString(await r.text(), 'text/html');
      document.getElementById('opening').replaceChildren(...Array.from(doc.body.childNodes, (n) => document.adoptNode(n)));
    }
    async function load(live) {
      const q = query();
      history.replaceState(null, '', '?' + q.toString());
      const d = await getJson('/api/cells?' + q.toString());
      document.getElementById('matching').textContent = fmt(T.matching, d.matching, d.total, d.pass, d.fail);
      pages = Math.max(1, Math.ceil(d.matching / d.pageSize));
      document.getElementById('pageinfo').textContent = fmt(T.pageOf, d.page + 1, pages);
      document.getElementById('prev').disabled = page <= 0;
      document.getElementById('next').disabled = page + 1 >= pages;
      const rules = rulesQuery(q); rules.set('lang', lang);
      const rows = d.rows.map((c) => {
        const tr = el('tr');
        const th = el('th', {scope: 'row'});
        rules.set('label', c.label);
        th.append(el('a', {href: '/cell?' + rules.toString()}, c.label));
        tr.append(th, el('td', {}, c.resistance), el('td', {}, c.voltage),
          el('td', {}, c.capacity === null ? T.unknown : c.capacity),
          el('td', {}, c.selfDischarge === null ? '\u2013' : c.selfDischarge.toFixed(2) + ' mV/d'),
          el('td', {}, c.measurements), el('td', {class: 'text'}, c.latest),
          el('td', {class: 'text'}, c.pack), el('td', {class: 'text'}, statusText(c)),
          el('td', {class: c.pass || retired(c) ? 'text' : 'text fail'}, verdictText(c, true)));
        return tr;
      });
      tbody.replaceChildren(...rows);
      for (const b of document.querySelectorAll('th button[data-sort]')) {
        const col = b.dataset.sort;
        b.parentElement.setAttribute('aria-sort', sort === col ? 'ascending' : sort === '-' + col ? 'descending' : 'none');
        b.setAttribute('aria-label', fmt(T.sortBy, b.textContent));
      }
      // After the rows, which are what a user waits for.
      await loadOpening(q, live);
    }
    form.addEventListener('submit', (e) => { e.preventDefault(); page = 0; load().catch(showError); });
    for (const b of document.querySelectorAll('th button[data-sort]'))
      b.addEventListener('click', () => {
        sort = sort === b.dataset.sort ? '-' + b.dataset.sort : b.dataset.sort;
        page = 0; load().catch(showError);
      });
    document.getElementById('prev').addEventListener('click', () => { if (page > 0) { page--; load().catch(showError); } });
    document.getElementById('next').addEventListener('click', () => { if (page + 1 < pages) { page++; load().catch(showError); } });
    load().catch(showError);
    watch(() => load(true));
  }

  function drawHistory(chart, readings) {
    chart.replaceChildren();
    const W = 800, H = 300, L = 60, R = 60, TOP = 16, B = 40;
    chart.setAttribute('viewBox', `0 0 ${W} ${H}`);
    if (!readings.length) return;
    const times = readings.map((m) => Date.parse(m.at));
    const t0 = Math.min(...times), t1 = Math.max(...times);
    const span = (lo, hi) => (hi > lo ? [lo, hi] : [lo - 1, hi + 1]);
    const [v0, v1] = span(Math.min(...readings.map((m) => m.microvolts)), Math.max(...readings.map((m) => m.microvolts)));
    const [r0, r1] = span(Math.min(...readings.map((m) => m.microohms)), Math.max(...readings.map((m) => m.microohms)));
    const x = (t) => L + (t1 > t0 ? (t - t0) / (t1 - t0) : 0.5) * (W - L - R);
    const y = (v, lo, hi) => TOP + (1 - (v - lo) / (hi - lo)) * (H - TOP - B);
    chart.append(svg('line', {x1: L, y1: H - B, x2: W - R, y2: H - B, class: 'axis'}),
                 svg('line', {x1: L, y1: TOP, x2: L, y2: H - B, class: 'axis'}),
                 svg('line', {x1: W - R, y1: TOP, x2: W - R, y2: H - B, class: 'axis'}));
    const label = (text, attrs) => { const t = svg('text', attrs); t.textContent = text; chart.append(t); };
    label((v1 / 1e6).toFixed(3) + ' V', {x: 2, y: TOP + 4});
    label((v0 / 1e6).toFixed(3) + ' V', {x: 2, y: H - B});
    label((r1 / 1e3).toFixed(1) + ' m\u03a9', {x: W - R + 4, y: TOP + 4});
    label((r0 / 1e3).toFixed(1) + ' m\u03a9', {x: W - R + 4, y: H - B});
    label(readings[0].at.slice(0, 10), {x: L, y: H - B + 16});
    label(readings[readings.length - 1].at.slice(0, 10), {x: W - R - 70, y: H - B + 16});
    readings.forEach((m, i) => {
      const cx = x(times[i]);
      // The instant for scripts, in UTC; people read the local time in the title.
      const at = new Date(times[i]).toISOString();
      if (m.rest) chart.append(svg('line', {x1: cx, y1: TOP, x2: cx, y2: H - B, class: 'rest', 'data-at': at}));
      const v = svg('circle', {cx, cy: y(m.microvolts, v0, v1), r: 4, class: 'v', 'data-at': at, 'data-value': m.microvolts});
      const vt = svg('title'); vt.textContent = m.at + ' ' + m.voltage; v.append(vt);
      const r = svg('rect', {x: cx - 3.5, y: y(m.microohms, r0, r1) - 3.5, width: 7, height: 7, class: 'r', 'data-at': at, 'data-value': m.microohms});
      const rt = svg('title'); rt.textContent = m.at + ' ' + m.resistance; r.append(rt);
      chart.append(v, r);
    });
  }

  function fillTable(id, rows) {
    document.querySelector('#' + id + ' tbody').replaceChildren(...rows.map((cells) => {
      const tr = el('tr');
      cells.forEach((c, i) => tr.append(el(i === 0 ? 'th' : 'td', i === 0 ? {scope: 'row'} : {class: 'text'}, c)));
      return tr;
    }));
  }

  function cellPage() {
    const params = new URLSearchParams(location.search);
    const label = params.get('label') || '';
    const q = rulesQuery(params); q.set('label', label); q.set('lang', lang);
    async function load() {
      let c;
      try { c = await getJson('/api/cell?' + q.toString()); } catch (e) {
        if (e.status === 404) { document.getElementById('missing').hidden = false; return; }
        throw e;
      }
      document.getElementById('title').textContent = T.cell + ' ' + c.label;
      document.title = c.label + ' \u2014 ' + T.siteNav;
      const facts = document.getElementById('facts');
      const pairs = [[T.status, statusText(c)], [T.verdict, verdictText(c, false)],
        [T.voltage, c.voltage], [T.resistance, c.resistance],
        [T.capacity, c.capacity === null ? T.unknown : c.capacity]];
      if (!c.pass && !retired(c)) pairs.push([T.reasons, c.reasons.join('; ')]);
      facts.replaceChildren(...pairs.flatMap(([k, v]) => [el('dt', {}, k), el('dd', {}, v)]));
      drawHistory(document.getElementById('chart'), c.readings);
      fillTable('readings', c.readings.map((m) => [m.at, m.voltage, m.resistance, m.rest ? T.yes : '', m.source]));
      fillTable('capacities', c.capacities.map((m) => [m.at, m.capacity, m.source]));
      fillTable('swaps', c.swaps.map((s) => [s.at, s.pack, s.group, s.removed, s.added]));
    }
    async function act(kind, extra) {
      const result = document.getElementById('action-result');
      const r = await fetch('/api/' + kind, {method: 'POST', credentials: 'same-origin',
        headers: {'Content-Type': 'application/json'}, body: JSON.stringify(Object.assign({label}, extra))});
      const d = await r.json().catch(() => ({}));
      result.textContent = r.ok ? T.done : fmt(T.refused, d.error || r.status);
      if (r.ok) await load();
    }
    const retire = document.getElementById('retire');
    if (retire) {
      retire.addEventListener('submit', (e) => { e.preventDefault(); act('retire', {reason: retire.elements.reason.value}).catch(showError); });
      document.getElementById('restore').addEventListener('submit', (e) => { e.preventDefault(); act('restore', {}).catch(showError); });
    }
    load().catch(showError);
    watch(load);
  }

  let proposals = 0;
  async function propose(pack, label, out) {
    const q = new URLSearchParams({pack, label, lang});
    const d = await getJson('/api/proposal?' + q.toString());
    out.replaceChildren(el('p', {}, fmt(T.proposal, d.failed, d.group, d.position, d.spare, d.spreadBefore, d.spreadAfter)));
    if (body.dataset.actions !== '1') return;
    const form = el('form', {class: 'replace'});
    const keepId = 'keep-' + (++proposals);
    const keep = el('input', {type: 'checkbox', id: keepId, name: 'keep'});
    form.append(keep, el('label', {for: keepId}, fmt(T.keepRemoved, d.failed)), document.createTextNode(' '),
      el('button', {type: 'submit'}, fmt(T.replaceBy, d.failed, d.spare)));
    const result = el('p', {role: 'status'});
    form.addEventListener('submit', (e) => {
      e.preventDefault();
      fetch('/api/replace', {method: 'POST', credentials: 'same-origin', headers: {'Content-Type': 'application/json'},
        body: JSON.stringify({pack, label: d.failed, spare: d.spare, keep: keep.checked})})
        .then(async (r) => {
          const j = await r.json().catch(() => ({}));
          result.textContent = r.ok ? T.done : fmt(T.refused, j.error || r.status);
        }, showError);
    });
    out.append(form, result);
  }

  function packsPage() {
    const root = document.getElementById('packs');
    async function load() {
      const packs = await getJson('/api/packs');
      if (!packs.length) { root.replaceChildren(el('p', {}, T.noPacks)); return; }
      root.replaceChildren(...packs.map((p) => {
        const section = el('section');
        section.append(el('h2', {}, p.name + ' \u2014 ' + p.series + 'S' + p.parallel + 'P'),
          el('p', {}, fmt(T.totals, (p.nominalVoltage || '').replace(' V', ''), p.measuredVoltage,
            p.capacity === null ? T.unknown : p.capacity,
            p.wattHours === null ? T.unknown : p.wattHours.toFixed(1), (p.ohms * 1000).toFixed(1))));
        const table = el('table', {class: 'pack-layout'});
        table.append(el('caption', {}, fmt(T.layout, p.name)));
        const n = p.groups.length;
        // The + end on top, as the pack is usually drawn standing.
        for (let g = n - 1; g >= 0; g--) {
          const tr = el('tr');
          const name = g === n - 1 ? fmt(T.groupPlus, g + 1) : g === 0 ? fmt(T.groupMinus, g + 1) : fmt(T.groupN, g + 1);
          tr.append(el('th', {scope: 'row'}, name));
          for (const c of p.groups[g]) {
            const td = el('td', c.pass ? {} : {class: 'fail'});
            td.append(el('a', {href: '/cell?lang=' + lang + '&label=' + encodeURIComponent(c.label)}, c.label),
              el('br'), document.createTextNode(c.voltage + ' \u00b7 ' + c.resistance));
            if (!c.pass) {
              const b = el('button', {type: 'button', 'data-propose': c.label}, fmt(T.propose, c.label));
              b.addEventListener('click', () => propose(p.name, c.label, out).catch((e) => { out.textContent = fmt(T.refused, e.message); }));
              td.append(el('br'), document.createTextNode(T.fails + ' '), b);
            }
            tr.append(td);
          }
          table.append(tr);
        }
        const out = el('div', {class: 'proposal', role: 'status'});
        const q = new URLSearchParams({pack: p.name, lang});
        const files = el('nav', {'aria-label': T.downloads, class: 'downloads'});
        files.append(el('a', {href: '/download/report?' + q.toString(), download: ''}, fmt(T.reportOf, p.name)),
          el('a', {href: '/download/labels?' + q.toString(), download: ''}, fmt(T.labelsOf, p.name)));
        section.append(table, out, files);
        return section;
      }));
    }
    load().catch(showError);
    watch(load);
  }

  ({cells: cellsPage, cell: cellPage, packs: packsPage})[body.dataset.page]();
})();
)js");
}

} // namespace labview
