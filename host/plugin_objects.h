// SPDX-License-Identifier: Apache-2.0
// Running a shader through the C++ interface: a shader object made by the
// shader's plug-in from a data block of its inputs, main writing "result" into
// an output block, the object released however main ends.
#pragma once

#include <memory>

#include <catalogue/types.h>
#include <host/laid_out_blocks.h>
#include <plugin/objects/plugin.h>

namespace kvx::host {

struct Release_plugin {
  void operator()(ZR::PLUG::Plugin* plugin) const { plugin->release(); }
};
// A plug-in from initializer(index), released when it goes.
using Plugin_ptr = std::unique_ptr<ZR::SHADER::Software_shader_plugin, Release_plugin>;

class Shader_object {
 public:
  // new_instance(nullptr, inputs): the object captures its parameters by name.
  Shader_object(ZR::SHADER::Software_shader_plugin const& plugin, ZR::SHADER::Data_block& inputs)
      : object_(plugin.new_instance(nullptr, &inputs)) {}
  ~Shader_object() { object_->release(); }
  Shader_object(Shader_object const&) = delete;
  Shader_object& operator=(Shader_object const&) = delete;

  void main(ZR::SHADER::State* state, ZR::SHADER::Data_block& output) { object_->main(state, &output); }

  // What one main stores under "result", all 16 bytes, in `output` (a
  // thread's own, used again for every object) or in a fresh block.
  catalogue::Value_bytes const& result(ZR::SHADER::State* state, Result_block& output) {
    output.clear();
    main(state, output);
    return output.result();
  }
  catalogue::Value_bytes result(ZR::SHADER::State* state) {
    Result_block output;
    return result(state, output);
  }

 private:
  ZR::SHADER::Shader* object_;
};

}  // namespace kvx::host
