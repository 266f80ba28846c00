#pragma once

#include <QColor>

#include <cstdint>

class QWidget;

// View and colour helpers shared by the windows of the programs.

// Where a view goes among its container's subviews.
enum class BRViewOrdering { Above, Below };

// Adds `view` to `container` and pins it to the container's four edges,
// above every other subview.
void BREmbedView(QWidget* container, QWidget* view);
// As BREmbedView, stacked right above or below `sibling` (another subview of
// `container`); above everything when `sibling` is null.
void BREmbedView(QWidget* container, QWidget* view, BRViewOrdering ordering, QWidget* sibling);

// Colours from 0xRRGGBB values. Both make sRGB colours: the display space is
// sRGB here, so the generic-RGB form only keeps its name for callers.
QColor BRColorWithSRGBHex(std::uint32_t hex);
QColor BRColorWithRGBHex(std::uint32_t hex);
