// Keeps the large blocks a conversion allocates for every frame (the slide as read, the canvas,
// the packed frame) in the process's heap between frames instead of returning them to the
// system each time: handing them back and faulting them in again took half the conversion's
// time. Called once by a program's main; affects the whole process.
#pragma once

namespace vorlix {

void keepFrameBuffersMapped();

}  // namespace vorlix
