// Execution of the graphic and transition records. Placeholder bodies until
// the object tree is in: each record leaves the scenes as they are.
#include "presentation/command_queue.h"
#include "presentation/que_records.h"

int32 classQue_GraphicCreateText::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStdOutText::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStdOutTextX::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicCreate::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicAlter::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicAlter_Movie::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicAlter_PlayDataThumbnail::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicFilter::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicDelete::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicAllDelete::Execute(classQueContext*) {
    return 0;
}
int32 classQue_PageFeed::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStirSlotSet::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStirSlotChange::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStirSlotDelete::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStirSlotAllFinish::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicStdTextDrawingAllFinish::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicMoviePlay::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicMovieStop::Execute(classQueContext*) {
    return 0;
}
int32 classQue_GraphicMoviePouse::Execute(classQueContext*) {
    return 0;
}
int32 classQue_Transition::Execute(classQueContext*) {
    return 0;
}
