// The flat effects in catalogue order: moves, the travelling square, scales, radial
// sweeps, pushes, the iris family, the cross-fade and the still picture.
#include "fx3d/FxFlat.h"
#include "fx3d/FxList.h"

namespace movara {

void AddFlatEffects(TFxList& list) {
  static const TFx3dClass classes[] = {
      CreateFx<TRightMoveFx3d>,   CreateFx<TLeftMoveFx3d>,     CreateFx<TUpMoveFx3d>,
      CreateFx<TDownMoveFx3d>,    CreateFx<TRightUpMoveFx3d>,  CreateFx<TRightDownMoveFx3d>,
      CreateFx<TLeftDownMoveFx3d>, CreateFx<TLeftUpMoveFx3d>,  CreateFx<TTerrific_01Fx3d>,
      CreateFx<TRightScale>,      CreateFx<TLeftScale>,        CreateFx<TUpScale>,
      CreateFx<TDownScale>,       CreateFx<TRightUpScale>,     CreateFx<TRightDownScale>,
      CreateFx<TLeftUpScale>,     CreateFx<TLeftDownScale>,    CreateFx<TCenterScale>,
      CreateFx<TCenterHScale>,    CreateFx<TCenterVScale>,     CreateFx<TObliqueScale>,
      CreateFx<TObliqueBScale>,   CreateFx<TRadialScale>,      CreateFx<TRadialBScale>,
      CreateFx<TRadialCScale>,    CreateFx<TRadialDScale>,     CreateFx<TRightPushFx3d>,
      CreateFx<TLeftPushFx3d>,    CreateFx<TUpPushFx3d>,       CreateFx<TDownPushFx3d>,
      CreateFx<TRightPushScale>,  CreateFx<TLeftPushScale>,    CreateFx<TUpPushScale>,
      CreateFx<TDownPushScale>,   CreateFx<TIrisMove>,         CreateFx<TIrisBMove>,
      CreateFx<TIrisScale>,       CreateFx<TIrisScale16>,      CreateFx<TIrisScale25>,
      CreateFx<TIrisScale36>,     CreateFx<TIrisScale49>,      CreateFx<TIrisScale64>,
      CreateFx<TIrisRotate1>,     CreateFx<TIrisRotate2>,      CreateFx<TIrisRotate3>,
      CreateFx<TFade>,            CreateFx<TStillSquare>,
  };
  static_assert(sizeof(classes) / sizeof(classes[0]) == 47, "47 flat effects");
  for (TFx3dClass create : classes) list.Add(create());
}

}  // namespace movara
