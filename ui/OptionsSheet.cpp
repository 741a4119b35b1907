#include "ui/OptionsSheet.h"

INT_PTR OptionsSheet(TarvoDirectXMaxExporter& exporter, HWND parent) {
    (void)exporter, (void)parent;
    return 1;
}
