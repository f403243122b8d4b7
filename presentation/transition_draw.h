#pragma once
// What a transition puts on the screen: the overlay's scene drawn into its
// capture only when that scene changed, the capture drawn over the screen
// with the overlay's fade and shader, and the frames that a software
// rasteriser would otherwise draw in several full-screen passes done as one:
// a cross-fade mixes the capture over a picture of the main scene, and a
// rule-image wipe mixes its image over a picture of the scene under it. Each
// picture is drawn again only when its scene changed.
//
// Threads: render thread only, inside the frame's drawing (application and
// device locks held); the capture and the scene picture belong to it.

#include <vector>

#include "platform/gpu_device.h"
#include "presentation/scene_draw.h"

class classGraphicObject;
class classShaderResource;

namespace transition_draw {

// A transition's capture onto the screen with the root's transform, fade and
// shader, scaled to the logical screen; with `under`, in one pass over that
// picture of the screen (false when it cannot be).
bool DrawCapture(classGraphicObject& root, platform::GpuHandle under);

// The overlay of a transition, its capture made again only when its scene
// changed. `screenReady`: the screen's camera and states are those of this
// frame. With `under`, the capture goes over that picture of the screen in
// one pass. False when nothing was drawn onto the screen.
bool DrawOverlay(classGraphicObject* overlay, bool screenReady, platform::GpuHandle under);

// A cross-fade frame as one full-screen pass over the main scene's picture
// (`looks` and `filter` are the main scene's as this frame found them); a
// scene that is one picture laid over the screen is read as it is.
// False when the frame was not drawn so and is drawn in steps instead.
bool DrawCrossFadeInOnePass(classGraphicObject* main, classGraphicObject* overlay,
                            const std::vector<scene_draw::ObjectLook>& looks,
                            const classShaderResource* filter);

// A cross-fade whose new scene has pictures still being decoded shows
// nothing yet: the screen keeps the old one, all the fade would show so
// early, and the frame that draws it comes as soon as they are done. Until
// then the old screen's capture, the textures of the pictures whose size is
// known and the new scene's target (unless it may be one picture on the
// screen) are made, so that that frame has only its pictures to load. True
// when the frame is held.
bool HoldCrossFadeForPictures(classGraphicObject* main, classGraphicObject* overlay,
                              const std::vector<scene_draw::ObjectLook>& looks, const classShaderResource* filter);

// A scene whose last object is a rule-image wipe, with pictures still being
// decoded, shows nothing yet: the frame that draws the wipe comes as soon as
// they are done. Until then the textures of the pictures whose size is
// known and the storage of the wipe's cover are made, so that that frame has
// only its pictures to load. True when the frame is held.
bool HoldWipeForPictures(classGraphicObject* main, const std::vector<scene_draw::ObjectLook>& looks);

// A frame whose last object is a rule-image wipe over a still scene, as one
// pass over the picture of that scene (or over the scene's one picture when
// it is just that), the rule loaded first if need be. False when the frame
// was not drawn so.
bool DrawWipeInOnePass(classGraphicObject* main, const std::vector<scene_draw::ObjectLook>& looks,
                       const classShaderResource* filter);

// Frames in which nothing visible changed: once the screen has stood still
// long enough, one of them prepares the first cross-fade unseen.
void NoteStillFrame(classGraphicObject* main, const std::vector<scene_draw::ObjectLook>& looks,
                    const classShaderResource* filter);
// A frame in which something changed starts the count of still frames again.
void NoteChangedFrame();

// Lets go of the main scene's picture; the next one-pass frame makes it again.
void ForgetScenePicture();

}  // namespace transition_draw

// Gives back the texture that holds the main scene under a transition and
// forgets what was rehearsed unseen on the device; the device holder calls
// it before a reset and when the device goes.
void ReleaseScenePicture();
