#include "commands/slot_commands.h"

#include "commands/graphic_arguments.h"
#include "presentation/que_records.h"

namespace {

// Positions of the slot parameters, shared by "GraphicSlot" and "GraphicSlotAlter".
enum SlotParam : int32 {
    kNo = 2,
    kStartDelay,
    kDelay,
    kAfterDelay,
    kTime,
    kTimeGainStart,
    kTimeGainEnd,
    kLoop,
    kAutoDeleteFlag,
    kPosition,
    kScale,
    kRoll,
    kTransmittance,
    kRate,
    kPositionCenter,
    kScaleCenter,
    kRollCenter,
    kRollAxis,
    kPositionGainStart,
    kPositionGainEnd,
    kScaleGainStart,
    kScaleGainEnd,
};

void CopyInteger(classOptionalValue<int64>& field, const GraphicArguments& args, int32 position) {
    const classOptionalValue<int64> value = args.Integer(position);
    if (value.IsSet()) field.Set(value.Get());
}

void CopyFloat(classOptionalValue<float>& field, const GraphicArguments& args, int32 position) {
    const classOptionalValue<double> value = args.Real(position);
    if (value.IsSet()) field.Set(static_cast<float>(value.Get()));
}

void CopyVector(classOptionalValue<D3DXVECTOR3>& field, const GraphicArguments& args, int32 position,
                float fill = 0.0f) {
    const std::vector<double> components = args.Reals(position);
    if (!components.empty()) field.Set(ToVector3(components, fill));
}

// Every field but Loop, which the two commands default differently.
void FillSlotFields(classQueSlotFields& fields, const GraphicArguments& args) {
    CopyInteger(fields.startDelay, args, kStartDelay);
    CopyInteger(fields.delay, args, kDelay);
    CopyInteger(fields.afterDelay, args, kAfterDelay);
    CopyInteger(fields.time, args, kTime);
    CopyFloat(fields.timeGainStart, args, kTimeGainStart);
    CopyFloat(fields.timeGainEnd, args, kTimeGainEnd);
    const classOptionalValue<int64> autoDelete = args.Integer(kAutoDeleteFlag);
    if (autoDelete.IsSet()) fields.autoDeleteFlag.Set(autoDelete.Get() != 0 ? 1 : 0);
    // A move written as a bare Position runs straight from the object's place
    // to the target: both gain points sit on the target unless given below.
    CopyVector(fields.position, args, kPosition);
    if (fields.position.IsSet()) {
        fields.positionGainStart.Set(fields.position.Get());
        fields.positionGainEnd.Set(fields.position.Get());
    }
    CopyVector(fields.scale, args, kScale, 1.0f);
    CopyFloat(fields.roll, args, kRoll);
    CopyFloat(fields.transmittance, args, kTransmittance);
    CopyFloat(fields.rate, args, kRate);
    CopyVector(fields.positionCenter, args, kPositionCenter);
    CopyVector(fields.scaleCenter, args, kScaleCenter);
    CopyVector(fields.rollCenter, args, kRollCenter);
    CopyVector(fields.rollAxis, args, kRollAxis);
    CopyVector(fields.positionGainStart, args, kPositionGainStart);
    CopyVector(fields.positionGainEnd, args, kPositionGainEnd);
    CopyVector(fields.scaleGainStart, args, kScaleGainStart);
    CopyVector(fields.scaleGainEnd, args, kScaleGainEnd);
}

}  // namespace

bool Builtin_GraphicSlot(classScriptContext&, const std::vector<classScriptValue>& arguments, int32 count,
                         classScriptValue&) {
    const GraphicArguments args{arguments, count};
    classQueHolder holder;
    classQue_GraphicStirSlotSet* record = holder.NewGraphicStirSlotSet();
    record->sceneMask = args.SceneMask();
    record->path = args.Path();
    CopyInteger(record->no, args, kNo);
    FillSlotFields(record->fields, args);
    // A new slot without Loop plays once.
    const classOptionalValue<int64> loop = args.Integer(kLoop);
    record->fields.loop.Set(loop.IsSet() ? loop.Get() : 1);
    holder.Post();
    return true;
}

bool Builtin_GraphicSlotAlter(classScriptContext&, const std::vector<classScriptValue>& arguments,
                              int32 count, classScriptValue&) {
    const GraphicArguments args{arguments, count};
    const classOptionalValue<int64> no = args.Integer(kNo);
    // Without a number there is no slot to change; a record with a made-up
    // number could change slot 0 behind the script's back.
    if (!no.IsSet()) return true;
    classQueHolder holder;
    classQue_GraphicStirSlotChange* record = holder.NewGraphicStirSlotChange();
    record->sceneMask = args.SceneMask();
    record->path = args.Path();
    record->no = no.Get();
    FillSlotFields(record->fields, args);
    CopyInteger(record->fields.loop, args, kLoop);
    holder.Post();
    return true;
}

bool Builtin_GraphicSlotDelete(classScriptContext&, const std::vector<classScriptValue>& arguments,
                               int32 count, classScriptValue&) {
    const GraphicArguments args{arguments, count};
    classQueHolder holder;
    classQue_GraphicStirSlotDelete* record = holder.NewGraphicStirSlotDelete();
    record->sceneMask = args.SceneMask();
    record->path = args.Path();
    const classOptionalValue<int64> no = args.Integer(kNo);
    record->no = no.IsSet() ? no.Get() : 0;
    holder.Post();
    return true;
}
