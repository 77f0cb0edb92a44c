#pragma once

#include <QElapsedTimer>
#include <QString>

namespace cli {

// The running count of readings on standard error, rewritten in place at most ten times a
// second; silent unless standard error is a terminal, so logs and pipes get no clutter.
class LiveCount {
public:
    LiveCount();
    void update(qsizetype count);
    // Writes the final count and ends its line.
    void finish(qsizetype count);

private:
    void show(qsizetype count);

    bool enabled_;
    bool shown_ = false;
    QElapsedTimer sinceShown_;
};

} // namespace cli
