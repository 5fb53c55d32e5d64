#include "download/transfer_failure.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "common/cp1252.h"
#include "common/run_report.h"
#include "download/transfer_url.h"

namespace velmorin {
namespace {

using K = TransferFailureKind;

// One pattern per kind (UTF-8 source text; the {names} are filled in with CP1252 values).
const std::pair<K, const char*> kPatterns[] = {
    {K::kCancelled, "Descarga cancelada por el usuario."},
    {K::kBadAddress, "La dirección de descarga no es válida: {url}"},
    {K::kHostNotFound, "No se encontró el servidor {host}: el nombre no existe o no hay acceso a internet."},
    {K::kRefused, "No se pudo conectar con el servidor {host}: conexión rechazada."},
    {K::kUnreachable, "No se pudo conectar con el servidor {host}: la red o el equipo no están accesibles."},
    {K::kNoConnectionInTime, "No se pudo conectar con el servidor {host}: no hubo respuesta en {seconds}."},
    {K::kStall, "La descarga de '{file}' se detuvo: no llegaron datos del servidor {host} en {seconds}."},
    {K::kHttpStatus, "El servidor no pudo entregar '{file}': respuesta HTTP {status}."},
    {K::kShortBody, "La descarga de '{file}' quedó incompleta: se recibieron {received} de {length} bytes."},
    {K::kConnectionLost, "Se perdió la conexión con el servidor {host} tras recibir {received} bytes de '{file}'."},
    {K::kNoAnswer, "El servidor {host} cerró la conexión sin responder."},
    {K::kTooManyRedirects, "Demasiadas redirecciones al pedir '{file}' (más de {redirects})."},
    {K::kBadResponse, "El servidor {host} dio una respuesta no válida."},
    {K::kProxyAuth,
     "El servidor proxy pide usuario y contraseña (respuesta HTTP 407): revise la configuración de acceso a "
     "internet de este equipo."},
    {K::kCertificate, "El certificado del servidor {host} no es válido: la conexión segura no es de confianza."},
    {K::kSecureChannel, "No se pudo establecer una conexión segura con el servidor {host}."},
    {K::kUnknownCoding,
     "El servidor {host} envió '{file}' comprimido de una forma que este programa no sabe leer ({coding})."},
    {K::kCorruptCoding, "Los datos comprimidos de '{file}' que envió el servidor {host} están dañados o incompletos."},
    {K::kBlockPage,
     "El servidor entregó una página web en lugar de '{file}'; puede que un filtro de la red la haya bloqueado."},
    {K::kDiskFull, "No se pudo guardar {target}: disco lleno."},
    {K::kFolderMissing, "No existe la carpeta de destino {folder}."},
    {K::kTargetIsFolder, "No se pudo guardar {target}: es una carpeta."},
    {K::kAccessDenied, "No se pudo guardar {target}: acceso denegado."},
    {K::kTargetInUse, "No se pudo guardar {target}: el archivo está en uso por otro programa."},
    {K::kDiskError, "No se pudo guardar {target}: error de disco (código {code})."},
    {K::kProgramRefused, "Se rechaza el programa descargado '{file}' ({detail}): se conserva la copia anterior."},
    {K::kInternal, "La descarga de '{file}' se interrumpió por un error interno del programa."},
    {K::kNetworkError, "Error de red al descargar '{file}' de {host} (código {code})."},
};

// The disk-full text with the room the download needed, when that is known.
constexpr char kDiskFullNeeding[] = "No se pudo guardar {target}: disco lleno; se necesitan {needed} MB libres.";

const char* StatusMeaning(int status) {
  switch (status) {
    case 400: return "petición incorrecta";
    case 401: return "se necesita autorización";
    case 403: return "acceso prohibido";
    case 404: return "archivo no encontrado";
    case 408: return "tiempo de espera agotado";
    case 410: return "el archivo ya no existe";
    case 429: return "demasiadas peticiones";
    case 500: return "error interno del servidor";
    case 502: return "puerta de enlace incorrecta";
    case 503: return "servicio no disponible";
    case 504: return "tiempo de espera agotado en la puerta de enlace";
    default: return nullptr;
  }
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", s);
  return std::string(text) + (s == 1 ? " segundo" : " segundos");
}

// The destination's folder as the user writes it: "C:\velmorin\nada", "C:\".
std::string FolderOf(const std::string& target) {
  const size_t cut = target.find_last_of("\\/");
  if (cut == std::string::npos) return target.size() >= 2 && target[1] == ':' ? target.substr(0, 2) + "\\" : ".";
  std::string folder = target.substr(0, cut);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

// One pass, so that a value (an address, say) is never read as a pattern itself.
std::string Fill(const std::string& pattern, const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out;
  for (size_t at = 0; at < pattern.size();) {
    const size_t open = pattern.find('{', at);
    const size_t close = open == std::string::npos ? open : pattern.find('}', open);
    if (close == std::string::npos) {
      out += pattern.substr(at);
      break;
    }
    out += pattern.substr(at, open - at);
    const std::string name = pattern.substr(open + 1, close - open - 1);
    for (const auto& [key, value] : values) {
      if (key == name) out += value;
    }
    at = close + 1;
  }
  return out;
}

}  // namespace

std::string HttpStatusText(int status) {
  const char* meaning = StatusMeaning(status);
  return std::to_string(status) + (meaning != nullptr ? " (" + Ansi(meaning) + ")" : "");
}

std::string FailureText(const TransferFailure& f) {
  const char* pattern = kPatterns[std::size(kPatterns) - 1].second;
  for (const auto& [kind, text] : kPatterns) {
    if (kind == f.kind) pattern = text;
  }
  if (f.kind == K::kDiskFull && f.needed > 0) pattern = kDiskFullNeeding;
  constexpr int64_t kMegabyte = 1024 * 1024;
  return Fill(Ansi(pattern), {{"url", WithoutCredentials(f.url)},
                              {"host", HostOfUrl(f.url)},
                              {"needed", std::to_string((f.needed + kMegabyte - 1) / kMegabyte)},
                              {"file", f.file},
                              {"target", f.target},
                              {"folder", FolderOf(f.target)},
                              {"seconds", Seconds(f.seconds)},
                              {"status", HttpStatusText(f.status)},
                              {"received", std::to_string(f.received)},
                              {"length", std::to_string(f.length)},
                              {"redirects", std::to_string(f.max_redirects)},
                              {"code", std::to_string(f.code)},
                              {"detail", f.detail},
                              {"coding", f.coding}});
}

}  // namespace velmorin
