// Run-time error numbers and their Spanish descriptions.
#include "common/runtime_error.h"

#include "common/cp1252.h"

namespace velmorin {

std::string RuntimeErrorDescription(int number) {
  switch (number) {
    case err::kInvalidCall: return Ansi("Llamada a procedimiento o argumento no válidos");
    case err::kOverflow: return Ansi("Desbordamiento");
    case err::kOutOfMemory: return Ansi("Memoria insuficiente");
    case err::kInternalError: return Ansi("Error interno");
    case err::kBadFileNameOrNumber: return Ansi("Nombre o número de archivo incorrecto");
    case err::kFileNotFound: return Ansi("No se ha encontrado el archivo");
    case err::kBadFileMode: return Ansi("Modo de archivo incorrecto");
    case err::kFileAlreadyOpen: return Ansi("El archivo ya está abierto");
    case err::kDeviceIoError: return Ansi("Error de E/S en el dispositivo");
    case err::kFileAlreadyExists: return Ansi("El archivo ya existe");
    case err::kDiskFull: return Ansi("Disco lleno");
    case err::kInputPastEnd: return Ansi("La entrada pasa del final del archivo");
    case err::kBadRecordNumber: return Ansi("Número de registro incorrecto");
    case err::kTooManyFiles: return Ansi("Demasiados archivos");
    case err::kDeviceUnavailable: return Ansi("Dispositivo no disponible");
    case err::kPermissionDenied: return Ansi("Permiso denegado");
    case err::kDiskNotReady: return Ansi("El disco no está preparado");
    case err::kPathFileAccessError: return Ansi("Error de acceso a la ruta o el archivo");
    case err::kPathNotFound: return Ansi("No se ha encontrado la ruta de acceso");
    default: return Ansi("Error definido por la aplicación o el objeto");
  }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, std::string()) {}

RuntimeError::RuntimeError(int number, std::string detail)
    : std::runtime_error("run-time error " + std::to_string(number) + (detail.empty() ? std::string() : ": " + detail)),
      number_(number),
      description_(RuntimeErrorDescription(number)),
      detail_(std::move(detail)) {}

std::string RuntimeErrorReportText(const RuntimeError& error) {
  return Ansi("Se ha producido el error '") + std::to_string(error.number()) + Ansi("' en tiempo de ejecución:\n\n") +
         error.description();
}

}  // namespace velmorin
