#pragma once

#include "labview/routes.h"

#include <QByteArray>

// The pages' HTML, style sheet and script: built into the program, so that a page loads
// nothing from anywhere else and no request path is ever looked up on disk.
namespace labview {

// The HTML of a page (Cells, Cell or Packs) in a language; its data comes from the API.
QByteArray pageHtml(Page page, report::Language language, bool actionsAllowed);
QByteArray styleSheet();
QByteArray script();
QByteArray icon();

} // namespace labview
