// The progress bars the conversion routines drive, without knowing the forms behind them.
#pragma once

namespace velmorin {

class ConversionProgress {
 public:
  virtual ~ConversionProgress() = default;
  virtual void SetDialogBar(int value) = 0;   // MenorRef.ProgressBar1
  virtual void SetStartupBar(int value) = 0;  // InicioMR.ProgressBar1
};

}  // namespace velmorin
