#include "catalogue/core/engine_catalogue.h"

// Stand-in until the catalogue loader lands: the title lookup only.
int Engine_Type::indexOfTitle(const QString& title) const {
    for (qsizetype i = 0; i < Items.size(); ++i) {
        if (Items[i].Title == title)
            return static_cast<int>(i);
    }
    return -1;
}
