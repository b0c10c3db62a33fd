#include "formats/catalogue.h"

#include "formats/url_path.h"

namespace formats {

FileList::FileList(std::shared_ptr<const ListedFiles> listed, const CatalogueEntry& entry)
    : listed(std::move(listed)), sourcepath(entry.sourcepath), destinationpath(entry.destinationpath) {}

const ListedFiles::File& FileList::file(std::size_t index) const {
  return listed->files[picked ? (*picked)[index] : index];
}

std::string_view FileList::key(const ListedFiles::File& file) const {
  return std::string_view(listed->text).substr(file.start, file.keyLength);
}

FileRecord FileList::operator[](std::size_t index) const {
  const ListedFiles::File& listedFile = file(index);
  const std::string_view name = key(listedFile);
  FileRecord record{sourcepath + "/", destinationpath + "/", "", ""};
  record.sourcePath += percentEncodedKey(name);
  record.localPath += name;
  record.hash = listed->text.substr(listedFile.start + listedFile.keyLength, listedFile.hashLength);
  if (listedFile.unsafeKey) record.refusal = "the list names a path outside the installation";
  return record;
}

std::string FileList::localPath(std::size_t index) const {
  std::string path = destinationpath + "/";
  path += key(file(index));
  return path;
}

FileList FileList::pick(const std::vector<std::uint32_t>& indices) const {
  auto chosen = std::make_shared<std::vector<std::uint32_t>>();
  chosen->reserve(indices.size());
  for (const std::uint32_t index : indices) chosen->push_back(picked ? (*picked)[index] : index);
  FileList list = *this;
  list.picked = std::move(chosen);
  return list;
}

std::vector<FileRecord> FileList::records() const {
  std::vector<FileRecord> all;
  all.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) all.push_back((*this)[i]);
  return all;
}

}  // namespace formats
