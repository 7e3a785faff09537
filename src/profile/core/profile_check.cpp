#include "profile/core/profile_check.h"

#include <algorithm>

using namespace Qt::StringLiterals;

QStringList CheckDataError(const ProfileFields& f) {
    const bool anyKeyword =
        std::any_of(f.Keyword.begin(), f.Keyword.end(), [](const QString& keyword) { return !keyword.isEmpty(); });

    const struct {
        bool missing;
        QString line;
    } checks[] = {
        {f.Company.isEmpty(), u"[Contact Info]  Please enter your company name"_s},
        {f.Email.isEmpty(), u"[Contact Info]  Please enter your email address"_s},
        {f.First_Name.isEmpty(), u"[Contact Info]  Please enter your first name"_s},
        {f.Last_Name.isEmpty(), u"[Contact Info]  Please enter your last name"_s},
        {f.Street.isEmpty(), u"[Contact Info]  Please enter your street address"_s},
        {f.City.isEmpty(), u"[Contact Info]  Please enter your city"_s},
        {f.State.isEmpty(), u"[Contact Info]  Please enter your state"_s},
        {f.Zip.isEmpty(), u"[Contact Info]  Please enter your zip code"_s},
        {f.Country.isEmpty() && f.Country_ID.isEmpty(), u"[Contact Info]  Please enter your country"_s},
        {f.Phone.isEmpty(), u"[Contact Info]  Please enter your phone number"_s},
        {f.Password.isEmpty(), u"[Contact Info]  Please enter your password"_s},
        {f.Site_Title.isEmpty(), u"[Site Info]  Please enter your site title"_s},
        {f.Site_URL.isEmpty(), u"[Site Info]  Please enter your site url"_s},
        {!anyKeyword, u"[Site Info]  Please enter a keyword for your site"_s},
        {f.Description.isEmpty(), u"[Site Info]  Please enter a short description for your site"_s},
    };

    QStringList lines;
    for (const auto& check : checks) {
        if (check.missing)
            lines.append(check.line);
    }
    return lines;
}
