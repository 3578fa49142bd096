#include "tools/demo/DemoParts.h"

#include "tools/demo/DemoSkeleton.h"
#include "tools/formats/LittleEndianWriter.h"

std::vector<uint8_t> PartFile(const std::vector<PartObjectDef>& objects) {
    ByteWriter out;
    out.Int32(static_cast<int32_t>(objects.size()));
    for (const PartObjectDef& o : objects) {
        out.Name(o.texture);
        out.Int32(static_cast<int32_t>(o.mesh.vertices.size()));
        for (const MeshVertex& v : o.mesh.vertices) {
            const Vec3 p = v.p - kJoint[v.bone];
            out.Float(p.x)
                .Float(p.y)
                .Float(p.z)
                .Float(v.n.x)
                .Float(v.n.y)
                .Float(v.n.z)
                .Float(v.u)
                .Float(v.v);
            out.Int16(v.bone);
        }
        out.Int32(static_cast<int32_t>(o.mesh.indices.size() / 3));
        for (int32_t i : o.mesh.indices) out.Int32(i);
    }
    return out.bytes;
}

std::vector<PartObjectDef> Body() {
    Mesh skin, cloth;
    const UvRect face{0, 0, 1, 0.85f}, plainSkin{0, 0.9f, 1, 1};
    skin.bone = HEAD;
    skin.Ellipsoid(J(HEAD, 0, 1.1f), {0.95f, 1.2f, 1.05f}, 16, 10, face);
    skin.bone = NECK;
    skin.Tube(J(NECK, 0, -0.1f), J(HEAD, 0, 0.4f), 0.42f, 0.4f, 10, plainSkin, false);
    for (Bone hand : {L_HAND, R_HAND}) {
        skin.bone = hand;
        skin.Ellipsoid(J(hand, 0, -0.55f, -0.05f), {0.32f, 0.6f, 0.4f}, 8, 6, plainSkin);
    }

    const UvRect tunic{0, 0, 1, 0.5f}, trousers{0, 0.5f, 1, 1}, sleeve{0, 0, 0.5f, 0.5f};
    cloth.bone = PELVIS;
    cloth.Tube(J(PELVIS, 0, -0.9f), J(SPINE, 0, 0.1f), 1.2f, 1.05f, 14, tunic, true, 1.25f);
    cloth.bone = SPINE;
    cloth.Tube(J(SPINE), J(CHEST, 0, 0.1f), 1.0f, 1.1f, 14, tunic, false, 1.3f);
    cloth.bone = CHEST;
    cloth.Tube(J(CHEST), J(NECK, 0, 0.15f), 1.1f, 0.75f, 14, tunic, true, 1.45f);
    for (Bone upper : {L_UPPERARM, R_UPPERARM}) {
        const Bone fore = static_cast<Bone>(upper + 1), hand = static_cast<Bone>(upper + 2);
        cloth.bone = upper;
        cloth.Ellipsoid(J(upper), {0.5f, 0.5f, 0.5f}, 10, 6, sleeve);
        cloth.Tube(J(upper, 0, 0.2f), J(fore, 0, -0.1f), 0.46f, 0.38f, 10, sleeve, false);
        cloth.bone = fore;
        cloth.Ellipsoid(J(fore), {0.39f, 0.39f, 0.39f}, 8, 6, sleeve);
        cloth.Tube(J(fore), J(hand, 0, 0.1f), 0.38f, 0.3f, 10, sleeve, true);
    }
    for (Bone thigh : {L_THIGH, R_THIGH}) {
        const Bone calf = static_cast<Bone>(thigh + 1), foot = static_cast<Bone>(thigh + 2);
        cloth.bone = thigh;
        cloth.Tube(J(thigh, 0, 0.3f), J(calf, 0, -0.1f), 0.68f, 0.5f, 12, trousers, false);
        cloth.bone = calf;
        cloth.Ellipsoid(J(calf), {0.5f, 0.5f, 0.5f}, 10, 6, trousers);
        cloth.Tube(J(calf), J(foot, 0, 0.4f), 0.5f, 0.34f, 12, trousers, false);
    }
    return {{"skin.bmp", skin}, {"cloth.tga", cloth}};
}

std::vector<PartObjectDef> Helmet() {
    Mesh dome, crest;
    dome.bone = crest.bone = HEAD;
    const Vec3 centre = J(HEAD, 0, 1.2f);
    dome.Ellipsoid(centre, {1.08f, 1.28f, 1.15f}, 16, 6, {0, 0, 1, 0.5f}, 0.0f, 0.5f);
    // The brim: a short flared band below the dome.
    dome.Tube(centre, centre + Vec3{0, -0.35f, 0}, 1.1f, 1.2f, 16, {0, 0.4f, 1, 0.5f}, false, 1.0f);
    // The crest stands on the dome's ridge, front to back; its texture cuts
    // feathers out with alpha.
    const float top = centre.y + 1.2f;
    crest.Panel({0, top - 0.25f, 1.1f}, {0, top - 0.1f, -0.9f}, {0, top + 1.3f, -0.5f},
                {0, top + 1.5f, 1.4f}, {1, 0, 0}, {0, 0.5f, 1, 1}, true);
    return {{"helmet.tga", dome}, {"helmet.tga", crest}};
}

std::vector<PartObjectDef> Armour() {
    Mesh plate;
    plate.bone = CHEST;
    plate.Tube(J(CHEST, 0, -0.25f), J(NECK, 0, 0.05f), 1.2f, 0.9f, 16, {0, 0, 1, 0.6f}, true,
               1.42f);
    for (Bone upper : {L_UPPERARM, R_UPPERARM}) {
        plate.bone = upper;
        const float out = upper == L_UPPERARM ? 0.15f : -0.15f;
        plate.Ellipsoid(J(upper, out, 0.1f), {0.78f, 0.6f, 0.78f}, 12, 5, {0, 0.6f, 1, 1}, 0.0f,
                        0.55f);
    }
    plate.bone = PELVIS;
    plate.Tube(J(PELVIS, 0, 0.05f), J(PELVIS, 0, 0.6f), 1.28f, 1.22f, 16, {0, 0.85f, 1, 1}, false,
               1.25f);
    return {{"armour.bmp", plate}};
}

std::vector<PartObjectDef> Weapon() {
    // Held in the right fist, the blade pointing forward.
    Mesh sword;
    sword.bone = R_HAND;
    const Vec3 fist = J(R_HAND, 0, -0.6f, -0.05f);
    const UvRect blade{0, 0, 1, 0.7f}, guard{0, 0.72f, 1, 0.8f}, grip{0, 0.82f, 1, 1};
    sword.Box(fist + Vec3{-0.12f, -0.12f, -0.45f}, fist + Vec3{0.12f, 0.12f, 0.75f}, grip);
    sword.Box(fist + Vec3{-0.16f, -0.75f, -0.7f}, fist + Vec3{0.16f, 0.75f, -0.45f}, guard);
    sword.Box(fist + Vec3{-0.05f, -0.3f, -6.3f}, fist + Vec3{0.05f, 0.3f, -0.7f}, blade);
    // The point.
    const Vec3 tip = fist + Vec3{0, 0, -7.3f};
    sword.Panel(fist + Vec3{0.05f, -0.3f, -6.3f}, tip, tip, fist + Vec3{0.05f, 0.3f, -6.3f},
                {1, 0, 0}, {0, 0, 1, 0.1f}, false);
    sword.Panel(tip, fist + Vec3{-0.05f, -0.3f, -6.3f}, fist + Vec3{-0.05f, 0.3f, -6.3f}, tip,
                {-1, 0, 0}, {0, 0, 1, 0.1f}, false);
    // Tilted down in the rest pose, so that it points forward once the arm
    // is bent.
    const Mat4 tilt = Translate(fist * -1.0f) * RotX(-0.9f) * Translate(fist);
    for (MeshVertex& v : sword.vertices) {
        v.p = TransformPoint(tilt, v.p);
        v.n = TransformDirection(tilt, v.n);
    }
    return {{"sword.tga", sword}};
}

std::vector<PartObjectDef> Shoes() {
    Mesh boots;
    for (Bone foot : {L_FOOT, R_FOOT}) {
        const Bone calf = static_cast<Bone>(foot - 1);
        boots.bone = foot;
        boots.Box(J(foot, -0.42f, -0.9f, -1.65f), J(foot, 0.42f, 0.15f, 0.5f), {0, 0, 1, 0.5f});
        boots.Ellipsoid(J(foot, 0, -0.4f, -1.6f), {0.42f, 0.5f, 0.35f}, 8, 6, {0, 0, 1, 0.5f}, 0.0f,
                        0.55f);
        boots.bone = calf;
        boots.Tube(J(foot, 0, 0.0f), J(foot, 0, 1.9f), 0.47f, 0.55f, 12, {0, 0.5f, 1, 1}, false);
    }
    return {{"leather.tga", boots}};
}
