#include "dialogs/Unit3.h"

namespace kvillo {

TForm3::TForm3(EntryDialogContext context)
    : EntryDialog(std::move(context), QStringLiteral("Добавить"), QSize(217, 176), QRect(112, 144, 81, 25))
{
    setObjectName(QStringLiteral("Form3"));
}

} // namespace kvillo
