#include "anim/Animation.h"

void WriteAnimationSets(TarvoDirectXMaxExporter& exporter, const XParent& parent) {
    (void)exporter, (void)parent;
}
