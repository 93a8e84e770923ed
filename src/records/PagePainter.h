#pragma once

#include "records/PrintLayout.h"

#include <QByteArray>
#include <QPageLayout>

#include <optional>

class QPagedPaintDevice;

// Draws laid-out pages on any paged device: a printer, a print preview or a
// PDF writer. Text is placed by its top edge at the item's position, in the
// device's default face.
namespace PagePainter {

// Draws the pages one after another, starting a new page between them.
// False when the device refuses to be painted on or to start a page.
bool paint(QPagedPaintDevice &device, const QList<PrintLayout::Page> &pages);

// The pages as a PDF document with the given title, on the given page
// layout (the PDF writer's own, A4 with narrow margins, when none); empty
// when it could not be made.
QByteArray pdf(const QList<PrintLayout::Page> &pages, const QString &title,
               const std::optional<QPageLayout> &layout = std::nullopt);

} // namespace PagePainter
