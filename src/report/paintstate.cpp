#include "paintstate.h"

#include <QPaintEngine>

void PaintState::take(const QPaintEngineState &state)
{
    const QPaintEngine::DirtyFlags flags = state.state();
    // The painter replays clips with their own transforms, so both are taken as they come.
    if (flags & QPaintEngine::DirtyTransform)
        transform = state.transform();
    if (flags & QPaintEngine::DirtyPen)
        pen = state.pen();
    if (flags & QPaintEngine::DirtyBrush)
        brush = state.brush();
    if (flags & QPaintEngine::DirtyBrushOrigin)
        brushOrigin = state.brushOrigin();
    if (flags & QPaintEngine::DirtyFont)
        font = state.font();
    if (flags & QPaintEngine::DirtyBackground)
        background = state.backgroundBrush();
    if (flags & QPaintEngine::DirtyBackgroundMode)
        backgroundMode = state.backgroundMode();
    if (flags & QPaintEngine::DirtyHints)
        hints = state.renderHints();
    if (flags & QPaintEngine::DirtyCompositionMode)
        compositionMode = state.compositionMode();
    if (flags & QPaintEngine::DirtyOpacity)
        opacity = state.opacity();
}
