#include "vecmath.h"

#include <cmath>

bool billboardBasis(Vector eye, Vector target, Vector& r, Vector& u) {
    double dx = (double)eye.x - target.x, dy = (double)eye.y - target.y, dz = (double)eye.z - target.z;
    dx = (float)dx, dy = (float)dy, dz = (float)dz;  // d is a stored Vector
    double h = std::sqrt(dz * dz + dx * dx);
    double ux = -dx * dy, uy = dx * dx + dz * dz, uz = -dz * dy;
    double n = std::sqrt(ux * ux + uy * uy + uz * uz);
    if (h == 0 || n == 0) return false;
    r = Vector{(float)(-dz / h), 0.0f, (float)(dx / h)};
    u = Vector{(float)(ux / n), (float)(uy / n), (float)(uz / n)};
    return true;
}
