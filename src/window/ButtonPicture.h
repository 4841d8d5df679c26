#pragma once

class QIcon;
class QString;

namespace ButtonPicture {

// Loads a button picture and makes its flat background (the colour of its
// corners, wherever it reaches the edge) transparent, so the picture sits on
// the platform's own button face.
QIcon Load(const QString &path);

} // namespace ButtonPicture
