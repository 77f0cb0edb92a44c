#pragma once

#include <QString>
#include <QWidget>
#include <array>

namespace app {

enum class Language { Chinese, English };

enum class TextProperty { Caption, Hint };

// One switchable text: the control (by object name), what is replaced, and the text in
// each language.
struct LanguageRow {
    const char *control;
    TextProperty property;
    const char16_t *chinese;
    const char16_t *english;

    QString text(Language language) const
    {
        return QString::fromUtf16(language == Language::Chinese ? chinese : english);
    }
};

// Both languages in one table, in the order in which a switch applies them: the ten
// captions, then the five hints.
extern const std::array<LanguageRow, 15> kLanguageRows;

// Sets the table's texts in `language` on the controls of that name below `root`.
void applyLanguage(QWidget &root, Language language);

} // namespace app
