#include "cli/line/live_count.h"

#include <unistd.h>

namespace cli {

LiveCount::LiveCount() : enabled_(::isatty(STDERR_FILENO) == 1)
{ }

void LiveCount::update(qsizetype count)
{
    if (enabled_ && (!shown_ || sinceShown_.elapsed() >= 100))
        show(count);
}

void LiveCount::finish(qsizetype count)
{
    if (!enabled_ || !shown_)
        return;
    show(count);
    if (::write(STDERR_FILENO, "\n", 1) < 0) { }
}

void LiveCount::show(qsizetype count)
{
    const QByteArray text =
        "\rreceived " + QByteArray::number(count) + (count == 1 ? " reading" : " readings");
    if (::write(STDERR_FILENO, text.constData(), size_t(text.size())) < 0) { }
    shown_ = true;
    sinceShown_.start();
}

} // namespace cli
