#pragma once

#include "book/address_book.h"

#include <QString>

// What the main window says in its boxes, in one place.
namespace kvillo::mainWindowText {

QString damageMessage();
QString damageCaption();
// Whether to quit when the data could not be saved, naming the folder of the recovery copy.
QString recoveryQuestion(const QString &folder);
// Whether to restore files that would not pair line by line, naming both line counts.
QString restoreQuestion(const AddressBook::RestoreCheck &check, bool descriptionsChosen, bool mailsChosen);

} // namespace kvillo::mainWindowText
