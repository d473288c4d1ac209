#pragma once

#include <functional>

class QWidget;

namespace kvillo {

class Platform;
class ScratchBuffer;
struct BookLists;

// The print command: builds the report in `memo`, runs the print dialog over `owner` and, when the
// user confirms, calls `onConfirmed` and prints the report's lines as one job on the printer in
// use. A cancelled dialog stops the command with nothing printed. Failures are thrown; the report
// stays in `memo` whatever happens, and a job interrupted by a failure is still ended.
//
// The job prints the report as it was when the job began, even if the buffer is reused while
// the job spools (the window handles events between pages).
void printAddressList(QWidget *owner, Platform &platform, ScratchBuffer &memo, const BookLists &book,
    const std::function<void()> &onConfirmed);

} // namespace kvillo
