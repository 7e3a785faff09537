#include "profile/core/profile_snapshot.h"

QString ProfileSnapshot::value(int n) const {
    const ProfileFields& f = fields;
    if (n >= 17 && n <= 24)
        return f.Keyword[static_cast<size_t>(n - 17)];
    switch (n) {
    case 1:
        return f.Company;
    case 2:
        return f.Email;
    case 3:
        return f.First_Name;
    case 4:
        return f.Last_Name;
    case 5:
        return Full_Name;
    case 6:
        return f.Street;
    case 7:
        return f.City;
    case 8:
        return f.State;
    case 9:
        return f.Zip;
    case 10:
        return f.Country;
    case 11:
        return f.Country_ID;
    case 12:
        return f.Phone;
    case 13:
        return f.Fax;
    case 14:
        return f.Password;
    case 15:
        return f.Site_Title;
    case 16:
        return f.Site_URL;
    case 25:
        return Keyword_List;
    case 26:
        return Keyword_Line;
    case 27:
        return f.Description;
    default:
        return {};
    }
}

ProfileSnapshot ReadData(const ProfileFields& fields) {
    ProfileSnapshot snapshot;
    snapshot.fields = fields;
    // The blank is always there: both names empty give a single blank.
    snapshot.Full_Name = fields.First_Name + u' ' + fields.Last_Name;

    // Keyword1 always starts the list, even when empty; empty keywords 2 … 8 leave no trace.
    snapshot.Keyword_List = fields.Keyword[0];
    for (size_t k = 1; k < fields.Keyword.size(); ++k) {
        if (!fields.Keyword[k].isEmpty())
            snapshot.Keyword_List += u',' + fields.Keyword[k];
    }

    // All eight keywords, empty ones included, joined by single blanks.
    snapshot.Keyword_Line = fields.Keyword[0];
    for (size_t k = 1; k < fields.Keyword.size(); ++k)
        snapshot.Keyword_Line += u' ' + fields.Keyword[k];

    return snapshot;
}
