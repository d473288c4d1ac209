#pragma once

#include <QObject>

namespace kvillo {

// The system asks the program to end (SIGTERM at shut-down or log-off, SIGHUP when its session
// goes, SIGINT): `requested` is emitted from the event loop, so the program can save and close as
// when the user closes it.
class TerminationWatch : public QObject
{
    Q_OBJECT
public:
    explicit TerminationWatch(QObject *parent = nullptr);
    ~TerminationWatch() override;

    // Whether a request has come: one that came before anything was connected is not lost.
    bool isRequested() const { return m_requested; }

signals:
    void requested();

private:
    bool m_requested = false;
};

} // namespace kvillo
