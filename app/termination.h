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

    // A request came in, maybe while no one was connected yet (the window is still being built).
    bool wasRequested() const { return m_requested; }

signals:
    void requested();

private:
    bool m_requested = false;
};

} // namespace kvillo
