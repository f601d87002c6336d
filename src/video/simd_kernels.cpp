#include "video/simd_kernels.hpp"

namespace lk {

const SimdKernels& best_simd_kernels() {
    static const SimdKernels* const best = [] {
        const SimdKernels* avx2 = avx2_simd_kernels();
        return avx2 != nullptr ? avx2 : &portable_simd_kernels();
    }();
    return *best;
}

}  // namespace lk
