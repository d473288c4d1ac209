#include "desktop/addresses.h"

#include "book/version.h"
#include "desktop/deployment.h"

namespace kvillo::addresses {

QString site()
{
    return QStringLiteral("http://" KVILLO_SITE_HOST);
}

QString helpPage()
{
    return site() + QStringLiteral("/kvillo.htm");
}

QString updatePage()
{
    return site() + QStringLiteral("/update.htm?kvillo=" KVILLO_VERSION);
}

QString supportMail()
{
    return QStringLiteral(KVILLO_SUPPORT_MAIL);
}

QString author()
{
    return QStringLiteral(KVILLO_AUTHOR);
}

} // namespace kvillo::addresses
