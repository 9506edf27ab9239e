#include "gui/erasesectors.h"

#include "core/operations/flashoperations.h"
#include "gui/erasesectordialog.h"
#include "gui/operationframe.h"
#include "gui/userinteraction.h"

#include <algorithm>
#include <memory>

namespace korvane {

bool eraseSectorRun(const OperationContext& context, int startSector, int count)
{
    OperationFrame frame(context, FlashOperation::EraseSectors);
    if (!frame.open())
        return false;
    const std::uint64_t sectorSize = std::uint64_t(std::max(context.chip.Config.SectorSize, 0));
    if (!frame.prepareChange(std::uint64_t(std::max(startSector, 0)) * sectorSize,
                             (std::uint64_t(std::max(startSector, 0)) + std::uint64_t(std::max(count, 0))) *
                                 sectorSize))
        return false;
    frame.startProgress(count);
    if (count > 0) {
        const OperationResult erased = frame.session().eraseSectors(
            static_cast<std::uint32_t>(startSector), static_cast<std::uint32_t>(count), frame.progressSink());
        if (!erased.ok()) {
            frame.fail(erased);
            return false;
        }
    }
    frame.succeed();
    return true;
}

bool chooseAndEraseSectors(const OperationContext& context)
{
    int start = 0;
    int count = 0;
    {
        // Owned here so that it is gone before the work starts, never left behind as a hidden child.
        auto dialog = std::make_unique<EraseSectorDialog>(context.window);
        dialog->setSectorTotal(chipSectorCount(context.chip));
        if (context.ui.execDialog(dialog.get()) != QDialog::Accepted)
            return false;
        start = dialog->startSector();
        count = dialog->sectorNum();
    }
    return eraseSectorRun(context, start, count);
}

} // namespace korvane
