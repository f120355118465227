#pragma once
// The tracker's estimate of one frame: six points of the processed picture, in
// pixels, x to the right and y down from its top-left corner.
namespace vestiga {

struct BodyPoint {
    double x = 0;
    double y = 0;
};

struct BodyEstimate {
    BodyPoint torso;  // centre of the trunk
    BodyPoint head;   // centre of the head box
    BodyPoint elbowR; // the elbow on the picture's left (the signer's right)
    BodyPoint elbowL; // the elbow on the picture's right
    BodyPoint hand1;  // the hand that hangs on elbowR (before any exchange of labels)
    BodyPoint hand2;  // the hand that hangs on elbowL

    static constexpr int kPoints = 6;
    // The points in the order above, for code that treats them alike.
    BodyPoint& operator[](int k) { return this->*members()[k]; }
    const BodyPoint& operator[](int k) const { return this->*members()[k]; }

private:
    using Member = BodyPoint BodyEstimate::*;
    static const Member* members()
    {
        static const Member m[kPoints] = {&BodyEstimate::torso,  &BodyEstimate::head,  &BodyEstimate::elbowR,
                                          &BodyEstimate::elbowL, &BodyEstimate::hand1, &BodyEstimate::hand2};
        return m;
    }
};

// Exact comparison, coordinate by coordinate (a NaN equals nothing).
inline bool operator==(const BodyEstimate& a, const BodyEstimate& b)
{
    for (int k = 0; k < BodyEstimate::kPoints; ++k)
        if (!(a[k].x == b[k].x && a[k].y == b[k].y))
            return false;
    return true;
}
inline bool operator!=(const BodyEstimate& a, const BodyEstimate& b) { return !(a == b); }

} // namespace vestiga
