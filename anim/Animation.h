// Animation: one AnimationSet per segment with an Animation per registered node.
#pragma once

#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;

// Writes the animation sets at the top of the file. Animation writing lands with its own
// change; until then the segments' registered nodes are collected but nothing is written.
void WriteAnimationSets(TarvoDirectXMaxExporter& exporter, const XParent& parent);
