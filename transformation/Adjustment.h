// Adjustments: corrections applied to a point after a transformation, such as the distance
// weighting of control-beacon misclosures that refines a Helmert transformation.
#pragma once

#include "geometry/Spatial.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{

/// Root of the adjustment family. The base class does nothing to a point.
class GAdjustment
{
public:
    GAdjustment() = default;
    GAdjustment(const GAdjustment&) = delete;
    GAdjustment& operator=(const GAdjustment&) = delete;
    virtual ~GAdjustment() = default;

    /// Whether the adjustment can be applied (base: true).
    virtual bool IsValid() const;
    /// Fixed display name (base: "Basic Adjustment").
    virtual std::string Name() const;
    /// Type code (base: 0).
    virtual std::uint8_t AdjustmentType() const;
    /// Changes point in place (base: nothing).
    virtual void Adjust(GPoint& point);

    /// Adjust on every vertex of shape in flat index order, in place.
    void AdjustShape(GShape& shape);
};

/// Adds to a point the inverse-distance weighted mean of the control beacons' corrections:
///   P += sum(c_j w_j) / sum(w_j),  w_j = dmax / d_j,
/// d_j the plane distance from P to beacon j and dmax the largest of them (the scaling cancels;
/// the farthest beacon has weight 1). Every beacon takes part; there is no distance limit. A point
/// lying exactly on a beacon is left unchanged; Z is never touched. Coordinates and corrections are
/// in one plane unit (metres in Lo). The weights are rounded to double and the sums kept in
/// extended precision, so the correction added is the weighted mean to within about an ulp of the
/// largest correction. A result that overflows raises GTransformationException "Floating-point
/// error in Distance Weighting Adjustment" and leaves the point unchanged. IsValid: at least one
/// beacon.
class GDistanceWeightingAdjustment : public GAdjustment
{
public:
    GPointList ControlPoints; ///< beacon positions in the target datum (owned)
    GPointList Corrections;   ///< per beacon: X = correction in X, Y = correction in Y (owned)

    bool IsValid() const override;                // ControlCount() >= 1
    std::string Name() const override;            // "Distance Weighting Adjustment"
    std::uint8_t AdjustmentType() const override; // 1
    void Adjust(GPoint& point) override;

    /// Appends a beacon (owned from now on) with its corrections, in the plane unit. A missing
    /// point raises GTransformationException "A control needs a point".
    void AddControl(std::unique_ptr<GPoint> point, double correctionX, double correctionY);
    int ControlCount() const;
    /// The stored point itself; out of range: GContainerException "Container index out of bounds.".
    GPoint& ControlPoint(int index);
    double CorrectionX(int index) const;
    double CorrectionY(int index) const;

private:
    std::vector<double> distances_; // scratch for Adjust, kept to avoid an allocation per point
};

} // namespace quorvalis
