#pragma once

#include "output/metadata.h"

#include <QStringList>

// The window's notes name parts in Chinese; the command line's lines in English.
enum class PartNaming { Window, CommandLine };

// The parts a note says were not kept, each named once, in the order lost.
QStringList lostPartNames(const QList<MetadataLoss> &losses, PartNaming naming);
