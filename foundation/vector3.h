#pragma once
// Three 32-bit floats, laid out as the engine's records and slot arguments store them.

struct D3DXVECTOR3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    friend bool operator==(const D3DXVECTOR3&, const D3DXVECTOR3&) = default;
};
static_assert(sizeof(D3DXVECTOR3) == 12);
