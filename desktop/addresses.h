#pragma once

#include <QString>

// Every address the program opens or prints, built from the deployment values in one place.
namespace kvillo::addresses {

QString site(); // the product web site
QString helpPage(); // the site's help page
QString updatePage(); // the site's update page for this version
QString supportMail(); // the support e-mail address (without "mailto:")
QString author();

} // namespace kvillo::addresses
