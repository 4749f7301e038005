#include "ui/ResourceInit.h"

#include <QtGlobal>

void InitResources() {
    static const bool s_bDone = [] {
        Q_INIT_RESOURCE(tallyvine);
        return true;
    }();
    (void)s_bDone;
}
