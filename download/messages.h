#pragma once
// The download manager's own messages, shown to the operator as they stand.
namespace qelvo::download {

inline constexpr const char* kMsgWrongOwner = "Essa Classe deve ser instanciada por TQvDownload";
inline constexpr const char* kMsgNoProtocol =
    "Antes de iniciar o download, defina o protocolo a ser usado HTTP ou FTP!";
inline constexpr const char* kMsgNoFileName = "Favor informar o nome do arquivo para download!";
// %s: the file that could not be deleted.
inline constexpr const char* kMsgCannotDelete = "Não foi possível excluir o arquivo: %s";
// %s, %s: part file, final name.
inline constexpr const char* kMsgCannotRename = "Não foi possível renomear o arquivo: %s para %s";

}  // namespace qelvo::download
