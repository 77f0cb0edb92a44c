#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal that stands for the analyzer on COM `port`: the program opens its
// slave side through the ports folder, the test reads and writes the master side.
class PtyPort {
public:
    explicit PtyPort(int port);
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    bool isValid() const { return master_ >= 0; }

    // Everything the program wrote so far (reads what is waiting first).
    const QByteArray &received();
    void send(const QByteArray &bytes);

private:
    int master_ = -1;
    int slave_ = -1;
    QString link_;
    QByteArray received_;
};
